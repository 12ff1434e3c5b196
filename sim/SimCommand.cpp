#include "SimCommand.h"

#include "Format.h"
#include "Simulator.h"

#include <memory>

namespace vexa::sim {

namespace {

const char kUsage[] = R"(Usage: vexa-sim <command>
Shows and controls the simulated frame-grabber boards.

Commands:
  show                 every board and expander: the registers in SRAM and EEPROM,
                       the user EEPROM, each pin's setting and level, and the
                       EEPROM writes per page
  power-cycle <board>  switches the board's expanders off and on: SRAM is reloaded
                       from EEPROM, the configuration register from its power-up value
  reset                puts every expander back to its configured state of a new
                       machine, EEPROM write counts included
  help, -h, --help     shows this text

Environment:
  VEXA_SIM_CONFIG  the configuration file (the built-in default when unset)
  VEXA_SIM_STATE   the state file (a per-user default when unset)

Exit status: 0 done, 1 failed, 2 usage error. More in vexa-sim(1).
)";

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
                      std::to_string(count) + (count > kRatedPageWrites ? " (worn out)" : "");
        }
    }
    printLine(out, "    EEPROM writes per page (rated " + std::to_string(kRatedPageWrites) +
                       "):" + (writes.empty() ? " none" : writes));
}

int show(Simulator& simulator, std::ostream& out) {
    if (!simulator.loadAll()) {
        return kExitFailure;
    }
    const Config& config = simulator.config();
    printLine(out, "Configuration: " + config.source);
    printLine(out, "State file: " + simulator.stateFile().path());
    printLine(out, "Board slots: " + std::to_string(config.slots));
    printLine(out, "EEPROM write cycle: " + std::to_string(config.writeCycleMs) + " ms");
    for (const BoardConfig& board : config.boards) {
        printLine(out, "");
        printLine(out, boardLine(board));
        for (std::size_t i = 0; i < config.expanders.size(); ++i) {
            if (config.expanders[i].board == board.index) {
                printLine(out, expanderLine(config.expanders[i]));
                showChip(out, simulator.chip(i));
            }
        }
    }
    return kExitOk;
}

int powerCycle(Simulator& simulator, const std::string& boardText, std::ostream& out, std::ostream& errors) {
    const std::optional<std::uint64_t> number = parseUnsigned(boardText);
    const auto board = static_cast<std::int32_t>(number.value_or(0));
    if (simulator.config().board(board) == nullptr) {
        printLine(errors, "vexa-sim: no board \"" + boardText + "\" in the configuration (" +
                              simulator.config().source + ")");
        return kExitFailure;
    }
    if (simulator.openBoard(board) != status::kOk) {
        return kExitFailure;
    }
    const std::int32_t result = simulator.powerCycle(board);
    simulator.closeBoard(board);
    if (result != status::kOk) {
        return kExitFailure;
    }
    printLine(out, "Board " + std::to_string(board) + " power-cycled: SRAM reloaded from EEPROM.");
    return kExitOk;
}

int reset(Simulator& simulator, std::ostream& out) {
    if (simulator.reset() != status::kOk) {
        return kExitFailure;
    }
    printLine(out, "Every expander is back to its configured state of a new machine.");
    return kExitOk;
}

int usageError(std::ostream& errors, const std::string& message) {
    printLine(errors, "vexa-sim: " + message);
    errors << kUsage;
    errors.flush();
    return kExitUsage;
}

bool isBoardIndex(const std::string& text) {
    const std::optional<std::uint64_t> number = parseUnsigned(text);
    return number && *number <= 0x7FFFFFFF;
}

int runCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::ostream& out,
               std::ostream& errors) {
    if (arguments.empty()) {
        return usageError(errors, "no command given");
    }
    const std::string& command = arguments[0];
    const bool help = command == "help" || command == "-h" || command == "--help";
    const std::size_t expected = command == "power-cycle" ? 2 : 1;
    if (!help && command != "show" && command != "power-cycle" && command != "reset") {
        return usageError(errors, "unknown command \"" + command + "\"");
    }
    if (arguments.size() != expected) {
        return usageError(errors, expected == 2 ? "power-cycle takes one board index"
                                                : "\"" + command + "\" takes no arguments");
    }
    if (expected == 2 && !isBoardIndex(arguments[1])) {
        return usageError(errors, "\"" + arguments[1] + "\" is not a board index");
    }
    if (help) {
        out << kUsage;
        out.flush();
        return kExitOk;
    }
    const std::unique_ptr<Simulator> simulator = simulatorFor(environment, errors);
    if (simulator == nullptr) {
        return kExitFailure;
    }
    if (command == "show") {
        return show(*simulator, out);
    }
    if (command == "reset") {
        return reset(*simulator, out);
    }
    return powerCycle(*simulator, arguments[1], out, errors);
}

} // namespace

int runSimCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::ostream& out,
                  std::ostream& errors) {
    const int status = runCommand(arguments, environment, out, errors);
    // A report that did not reach its reader (a full disk, a closed pipe) is no success.
    if (!out) {
        printLine(errors, "vexa-sim: failed to write standard output");
        return kExitFailure;
    }
    return status;
}

} // namespace vexa::sim
