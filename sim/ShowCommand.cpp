#include "ShowCommand.h"

#include "Format.h"
#include "SimCommand.h"
#include "Simulator.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace vexa::sim {

namespace {

constexpr std::uint32_t kRatedPageWrites = 50000;

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

std::string boardLine(const BoardConfig& board) {
    std::string line = "Board " + std::to_string(board.index) + ": type " +
                       hex(static_cast<std::uint32_t>(board.type), 1) + " (" + std::to_string(board.type) + ")";
    if (board.failOpen) {
        line += ", opening fails";
    }
    if (board.failTypeQuery) {
        line += ", type query fails";
    }
    return line;
}

std::string expanderLine(const ExpanderConfig& expander) {
    std::string line = "  " + interfaceName(expander.interfaceCode) + ": " + chipLayout(expander.chip).name +
                       " at bus address " + hex(expander.busAddress, 2);
    if (expander.absent) {
        line += ", absent";
    }
    if (expander.answeredTransfers) {
        line += ", answers " + std::to_string(*expander.answeredTransfers) + " transfers";
    }
    if (expander.failingRead) {
        line += ", read " + std::to_string(*expander.failingRead) + " fails";
    }
    if (expander.failingWrite) {
        line += ", write " + std::to_string(*expander.failingWrite) + " fails";
    }
    if (expander.endurance) {
        line += ", pages wear out after " + std::to_string(*expander.endurance) + " writes";
    }
    if (expander.floatingHigh) {
        line += ", floating lines read high";
    }
    return line;
}

void showChip(std::ostream& out, const Chip& chip) {
    const ChipLayout& layout = chip.layout();
    printLine(out, "    " + padded("Register", 23) + padded("SRAM", 6) + "EEPROM");
    for (const NamedRegister& named : layout.registers) {
        const std::string eeprom =
            named.kind == RegisterKind::NonVolatile ? hex(chip.memory.eeprom[named.address], 2) : "-";
        printLine(out, "    " + hex(named.address, 2) + " " + padded(named.name, 18) +
                           padded(hex(chip.read(named.address), 2), 6) + eeprom);
    }
    // User EEPROM, 16 bytes a line.
    constexpr unsigned kUserBytesPerLine = 16;
    for (unsigned first = 0; first < kUserMemorySize; first += kUserBytesPerLine) {
        std::string line = "    User EEPROM " + hex(first, 2) + " ";
        for (unsigned address = first; address < first + kUserBytesPerLine; ++address) {
            line += " " + hex(chip.read(static_cast<std::uint8_t>(address)), 2).substr(2);
        }
        printLine(out, line);
    }
    printLine(out, "    " + padded("Pin", 5) + padded("Setting", 12) + padded("External", 10) + "Level");
    for (unsigned pin = 0; pin < layout.pins.size(); ++pin) {
        printLine(out, "    " + padded(std::to_string(pin), 5) + padded(pinSettingName(chip.pinSetting(pin)), 12) +
                           padded(externalLevelName(chip.external(pin)), 10) + (chip.pinLevel(pin) ? "high" : "low"));
    }
    std::string writes;
    for (unsigned page = 0; page < kPageCount; ++page) {
        const std::uint32_t count = chip.memory.pageWrites[page];
        if (count != 0) {
            writes += writes.empty() ? " " : ", ";
            writes += hex(page * kPageSize, 2) + "-" + hex(page * kPageSize + kPageSize - 1, 2) + ": " +
                      std::to_string(count) +
                      (count > kRatedPageWrites || (chip.endurance && count >= *chip.endurance) ? " (worn out)" : "");
        }
    }
    printLine(out, "    EEPROM writes per page (rated " + std::to_string(kRatedPageWrites) +
                       "):" + (writes.empty() ? " none" : writes));
}

void showText(const Simulator& simulator, std::optional<std::int32_t> only, std::ostream& out) {
    const Config& config = simulator.config();
    printLine(out, "Configuration: " + config.source);
    printLine(out, "State file: " + simulator.stateFile().path());
    printLine(out, "Board slots: " + std::to_string(config.slots));
    printLine(out, "EEPROM write cycle: " + std::to_string(config.writeCycleMs) + " ms");
    for (const BoardConfig& board : config.boards) {
        if (only && board.index != *only) {
            continue;
        }
        printLine(out, "");
        printLine(out, boardLine(board));
        for (std::size_t i = 0; i < config.expanders.size(); ++i) {
            if (config.expanders[i].board == board.index) {
                printLine(out, expanderLine(config.expanders[i]));
                showChip(out, simulator.chip(i));
            }
        }
    }
}


// JSON: a string with what JSON requires escaped, and lists of numbers.
std::string jsonString(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            result += "\\u00" + hex(static_cast<unsigned char>(c), 2).substr(2);
        } else {
            result += c;
        }
    }
    return result + "\"";
}

template <typename Numbers>
std::string jsonNumbers(const Numbers& numbers, std::size_t count) {
    std::string result = "[";
    for (std::size_t i = 0; i < count; ++i) {
        result += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    return result + "]";
}

// Joins the items as the members of a JSON list, one a line, at the given indent.
std::string jsonList(const std::vector<std::string>& items, const std::string& indent) {
    if (items.empty()) {
        return "[]";
    }
    std::string result = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        result += indent + "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
    }
    return result + indent + "]";
}

std::string jsonChip(const ExpanderConfig& expander, const Chip& chip, const std::string& indent) {
    const ChipLayout& layout = chip.layout();
    std::vector<std::string> registers;
    for (const NamedRegister& named : layout.registers) {
        const std::string eeprom =
            named.kind == RegisterKind::NonVolatile ? std::to_string(chip.memory.eeprom[named.address]) : "null";
        registers.push_back("{\"address\": " + std::to_string(named.address) + ", \"name\": " +
                            jsonString(named.name) + ", \"value\": " + std::to_string(chip.read(named.address)) +
                            ", \"eeprom\": " + eeprom + "}");
    }
    std::vector<std::string> pins;
    for (unsigned pin = 0; pin < layout.pins.size(); ++pin) {
        pins.push_back("{\"pin\": " + std::to_string(pin) + ", \"setting\": " +
                       jsonString(pinSettingName(chip.pinSetting(pin))) + ", \"external\": " +
                       jsonString(externalLevelName(chip.external(pin))) +
                       ", \"level\": " + jsonString(chip.pinLevel(pin) ? "high" : "low") + "}");
    }
    const std::string in = indent + "  ";
    return "{\n" + in + "\"bus\": " + jsonString(interfaceName(expander.interfaceCode)) + ",\n" + in +
           "\"chip\": " + jsonString(layout.name) + ",\n" + in +
           "\"bus_address\": " + std::to_string(expander.busAddress) + ",\n" + in +
           "\"absent\": " + (expander.absent ? "true" : "false") + ",\n" + in +
           "\"endurance\": " + (expander.endurance ? std::to_string(*expander.endurance) : "null") + ",\n" + in +
           "\"floating\": " + (expander.floatingHigh ? "\"high\"" : "\"low\"") + ",\n" + in +
           "\"registers\": " + jsonList(registers, in) + ",\n" + in +
           "\"user_eeprom\": " + jsonNumbers(chip.memory.eeprom, kUserMemorySize) + ",\n" + in +
           "\"page_writes\": " + jsonNumbers(chip.memory.pageWrites, kPageCount) + ",\n" + in +
           "\"pins\": " + jsonList(pins, in) + "\n" + indent + "}";
}

// The positions of the board's dip-switches, when it has a DS4510 behind IOS1: "on" or
// "off" as its line is driven high or low from outside, null when it is not driven.
std::string jsonDipSwitches(const Simulator& simulator, std::int32_t board) {
    const std::optional<std::size_t> index = simulator.expanderIndex(board, kIOS1);
    std::vector<std::string> switches;
    if (index && simulator.chip(*index).layout().type == ChipType::DS4510) {
        for (const DipSwitch& dipSwitch : kDipSwitches) {
            const ExternalLevel level = simulator.chip(*index).external(dipSwitch.pin);
            const char* position = level == ExternalLevel::High  ? "\"on\""
                                   : level == ExternalLevel::Low ? "\"off\""
                                                                 : "null";
            switches.push_back("{\"port\": " + jsonString(dipSwitch.port) + ", \"pin\": " +
                               std::to_string(dipSwitch.pin) + ", \"position\": " + position + "}");
        }
    }
    return jsonList(switches, "      ");
}

void showJson(const Simulator& simulator, std::optional<std::int32_t> only, std::ostream& out) {
    const Config& config = simulator.config();
    std::vector<std::string> boards;
    for (const BoardConfig& board : config.boards) {
        if (only && board.index != *only) {
            continue;
        }
        std::vector<std::string> chips;
        for (std::size_t i = 0; i < config.expanders.size(); ++i) {
            if (config.expanders[i].board == board.index) {
                chips.push_back(jsonChip(config.expanders[i], simulator.chip(i), "        "));
            }
        }
        boards.push_back("{\n      \"index\": " + std::to_string(board.index) +
                         ",\n      \"type\": " + std::to_string(board.type) +
                         ",\n      \"dip_switches\": " + jsonDipSwitches(simulator, board.index) +
                         ",\n      \"expanders\": " + jsonList(chips, "      ") + "\n    }");
    }
    out << "{\n  \"version\": 1,\n  \"configuration\": " << jsonString(config.source)
        << ",\n  \"state\": " << jsonString(simulator.stateFile().path())
        << ",\n  \"slots\": " << config.slots << ",\n  \"write_cycle_ms\": " << config.writeCycleMs
        << ",\n  \"rated_page_writes\": " << kRatedPageWrites
        << ",\n  \"boards\": " << jsonList(boards, "  ") << "\n}\n";
    out.flush();
}

} // namespace

int showMachine(const CommandRun& run) {
    std::optional<std::int32_t> only;
    if (!run.words.empty()) {
        only = boardArgument(run.words[0]);
    }
    const std::unique_ptr<Simulator> simulator = simulatorFor(run.environment, run.errors);
    if (simulator == nullptr) {
        return kExitFailure;
    }
    if (only) {
        requireBoard(simulator->config(), *only, run.words[0]);
    }
    if (!simulator->loadAll()) {
        return kExitFailure;
    }
    if (run.optionGiven) { // --json
        showJson(*simulator, only, run.out);
    } else {
        showText(*simulator, only, run.out);
    }
    return kExitOk;
}

} // namespace vexa::sim
