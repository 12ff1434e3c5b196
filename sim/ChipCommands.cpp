#include "ChipCommands.h"

#include "ChipDump.h"
#include "Format.h"
#include "Platform.h"
#include "SimCommand.h"
#include "Simulator.h"
#include "Trace.h"

#include <functional>
#include <memory>
#include <optional>
#include <sstream>

namespace vexa::sim {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

enum class Range { Decimal, Hex };

std::uint64_t numberArgument(const std::string& text, const std::string& what, std::uint64_t low,
                             std::uint64_t high, Range range = Range::Decimal) {
    const std::optional<std::uint64_t> value = parseUnsigned(text);
    if (!value || *value < low || *value > high) {
        const auto bound = [range](std::uint64_t number) {
            return range == Range::Hex ? hex(number, 2) : std::to_string(number);
        };
        throw UsageError("bad " + what + " " + quoted(text) + " (" + bound(low) + " to " + bound(high) + ")");
    }
    return *value;
}

std::uint32_t busArgument(const std::string& text) {
    if (text == "IOS0" || text == "IOS1") {
        return text == "IOS0" ? kIOS0 : kIOS1;
    }
    throw UsageError("unknown bus " + quoted(text) + " (IOS0 or IOS1)");
}

std::vector<std::uint8_t> byteArguments(const std::vector<std::string>& words, std::size_t first) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = first; i < words.size(); ++i) {
        bytes.push_back(static_cast<std::uint8_t>(numberArgument(words[i], "byte", 0, 0xFF, Range::Hex)));
    }
    return bytes;
}

// The chip that <board> <bus> name, on the machine as configured.
struct ChipArgument {
    std::unique_ptr<Simulator> simulator;
    std::int32_t board = 0;
    std::size_t index = 0; // in the configuration's expanders

    const Chip& chip() const { return simulator->chip(index); }
    const ChipLayout& layout() const { return chip().layout(); }
};

// The chip of the board and bus, once the configuration is read; null simulator when the
// configuration is refused. `run.words[0]` names the board, `run.words[1]` the bus.
ChipArgument chipArgument(const CommandRun& run, std::int32_t board, std::uint32_t bus) {
    ChipArgument result;
    result.board = board;
    result.simulator = simulatorFor(run.environment, run.errors);
    if (result.simulator == nullptr) {
        return result;
    }
    requireBoard(result.simulator->config(), board, run.words[0]);
    const std::optional<std::size_t> index = result.simulator->expanderIndex(board, bus);
    if (!index) {
        throw UsageError("board " + std::to_string(board) + " has no expander behind " + run.words[1]);
    }
    result.index = *index;
    return result;
}

// Bytes as "0x.." words, 16 a line.
void printBytes(std::ostream& out, const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t kPerLine = 16;
    for (std::size_t first = 0; first < bytes.size(); first += kPerLine) {
        std::string line;
        for (std::size_t i = first; i < bytes.size() && i < first + kPerLine; ++i) {
            line += (i == first ? "" : " ") + hex(bytes[i], 2);
        }
        printLine(out, line);
    }
}

// A programmer may write every EEPROM byte the configuration's "register" statement may
// set: not the reserved and read-only ones, and the configuration register only with SEE
// clear, as every power-up leaves it.
void checkEepromWrite(const ChipLayout& layout, unsigned start, const std::vector<std::uint8_t>& bytes) {
    if (start + bytes.size() > kRegisterCount) {
        throw UsageError(std::to_string(bytes.size()) + " bytes from " + hex(start, 2) + " run past 0xFF");
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::string refusal = eepromRefusal(layout, static_cast<std::uint8_t>(start + i), bytes[i]);
        if (!refusal.empty()) {
            throw UsageError(refusal);
        }
    }
}

// Changes the chip under the board's lock, as a tool run would, and saves it; false when
// the board could not be opened or the state not saved (the simulator has said why).
// `edit` returns whether it started a write cycle.
bool changeUnderLock(const CommandRun& run, const ChipArgument& target, const std::function<bool(Chip&)>& edit) {
    Simulator& simulator = *target.simulator;
    if (simulator.openBoard(target.board) != status::kOk) {
        return false;
    }
    const std::int32_t result = simulator.changeChip(target.index, edit);
    traceChange(run, result);
    // Closing waits for the end of the write cycle, as the next user of the chip would.
    simulator.closeBoard(target.board);
    return result == status::kOk;
}

// Makes the level drive the pin's line from outside; the exit status.
int driveLine(const ChipArgument& target, unsigned pin, ExternalLevel level, const CommandRun& run,
              const std::string& done) {
    if (!changeUnderLock(run, target, [&](Chip& chip) {
            chip.setExternal(pin, level);
            return false;
        })) {
        return kExitFailure;
    }
    printLine(run.out, done);
    return kExitOk;
}

} // namespace

void traceChange(const CommandRun& run, std::int32_t result) {
    TraceFile(run.environment.tracePath, run.errors).append(run.invocation + " = " + std::to_string(result));
}

std::int32_t boardArgument(const std::string& text) {
    return static_cast<std::int32_t>(numberArgument(text, "board index", 0, 0x7FFFFFFF));
}

void requireBoard(const Config& config, std::int32_t board, const std::string& text) {
    if (config.board(board) == nullptr) {
        throw UsageError("no board " + quoted(text) + " in the configuration (" + config.source + ")");
    }
}

int getBytes(const CommandRun& run) {
    const bool eeprom = run.optionGiven;
    const std::int32_t board = boardArgument(run.words.at(0));
    const std::uint32_t bus = busArgument(run.words.at(1));
    const auto start = static_cast<unsigned>(numberArgument(run.words.at(2), "register", 0, 0xFF, Range::Hex));
    // A read over the bus runs on round the register space; the EEPROM ends at 0xFF.
    const std::uint64_t most = eeprom ? kRegisterCount - start : kMaxTransfer;
    const auto count =
        run.words.size() > 3 ? static_cast<std::size_t>(numberArgument(run.words[3], "count", 1, most)) : 1;
    const ChipArgument target = chipArgument(run, board, bus);
    if (target.simulator == nullptr || !target.simulator->loadAll()) {
        return kExitFailure;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const auto address = static_cast<std::uint8_t>(start + i);
        bytes.push_back(eeprom ? target.chip().memory.eeprom[address] : target.chip().read(address));
    }
    printBytes(run.out, bytes);
    return kExitOk;
}

int setBytes(const CommandRun& run) {
    const bool eeprom = run.optionGiven;
    const std::int32_t board = boardArgument(run.words.at(0));
    const std::uint32_t bus = busArgument(run.words.at(1));
    const auto start = static_cast<std::uint8_t>(numberArgument(run.words.at(2), "register", 0, 0xFF, Range::Hex));
    const std::vector<std::uint8_t> bytes = byteArguments(run.words, 3);
    if (bytes.size() > kMaxTransfer) {
        throw UsageError("at most " + std::to_string(kMaxTransfer) + " bytes");
    }
    const ChipArgument target = chipArgument(run, board, bus);
    if (target.simulator == nullptr) {
        return kExitFailure;
    }
    if (eeprom) {
        checkEepromWrite(target.layout(), start, bytes);
    }
    const bool written = changeUnderLock(run, target, [&](Chip& chip) {
        if (!eeprom) {
            return chip.write(start, bytes.data(), bytes.size());
        }
        std::copy(bytes.begin(), bytes.end(), chip.memory.eeprom.begin() + start);
        return false;
    });
    if (!written) {
        return kExitFailure;
    }
    printLine(run.out, "Board " + std::to_string(target.board) + " " + run.words[1] + ": " +
                           std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes") + " written " +
                           (eeprom ? "to EEPROM " : "") + "from " + hex(start, 2) + ".");
    return kExitOk;
}

int dumpChip(const CommandRun& run) {
    const std::int32_t board = boardArgument(run.words.at(0));
    const ChipArgument target = chipArgument(run, board, busArgument(run.words.at(1)));
    if (target.simulator == nullptr || !target.simulator->loadAll()) {
        return kExitFailure;
    }
    run.out << formatChipDump({target.layout().type, target.chip().memory, {}});
    run.out.flush();
    return kExitOk;
}

int loadChip(const CommandRun& run) {
    const std::int32_t board = boardArgument(run.words.at(0));
    const ChipArgument target = chipArgument(run, board, busArgument(run.words.at(1)));
    if (target.simulator == nullptr) {
        return kExitFailure;
    }
    // No dump comes near this size; a larger input (a device, say) is not read to its end.
    std::string text(kMaxFileSize + 1, '\0');
    run.in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(run.in.gcount()));
    if (text.size() > kMaxFileSize || run.in.bad()) {
        printLine(run.errors, "vexa-sim: standard input: " +
                                  std::string(run.in.bad() ? "cannot be read" : "larger than 1 MiB"));
        return kExitFailure;
    }
    const ChipLayout& layout = target.layout();
    ChipDump dump;
    try {
        std::istringstream input(text);
        dump = parseChipDump(input, "standard input");
        if (dump.chip != layout.type) {
            throw DumpError("standard input holds a " + std::string(chipLayout(dump.chip).name) + ", and board " +
                            std::to_string(board) + " has a " + layout.name + " behind " + run.words[1]);
        }
        checkChipBytes(dump, "standard input");
    } catch (const DumpError& failure) {
        printLine(run.errors, std::string("vexa-sim: ") + failure.what());
        return kExitFailure;
    }
    if (!changeUnderLock(run, target, [&](Chip& chip) {
            chip.memory = dump.memory;
            return false;
        })) {
        return kExitFailure;
    }
    printLine(run.out, "Board " + std::to_string(board) + " " + run.words[1] + ": loaded.");
    return kExitOk;
}

int setLevel(const CommandRun& run) {
    const std::int32_t board = boardArgument(run.words.at(0));
    const std::uint32_t bus = busArgument(run.words.at(1));
    const auto pin = static_cast<unsigned>(numberArgument(run.words.at(2), "pin", 0, kMaxPins - 1));
    const std::string& word = run.words.at(3);
    const std::optional<ExternalLevel> level = word == "float" ? ExternalLevel::Floating : parseExternalLevel(word);
    if (!level) {
        throw UsageError("unknown level " + quoted(word) + " (high, low or float)");
    }
    const ChipArgument target = chipArgument(run, board, bus);
    if (target.simulator == nullptr) {
        return kExitFailure;
    }
    if (pin >= target.layout().pins.size()) {
        throw UsageError("the " + std::string(target.layout().name) + " has pins 0 to " +
                         std::to_string(target.layout().pins.size() - 1));
    }
    return driveLine(target, pin, *level, run,
                     "Board " + std::to_string(board) + " " + run.words[1] + " pin " + std::to_string(pin) + ": " +
                         externalLevelName(*level) + " from outside.");
}

int setDipSwitch(const CommandRun& run) {
    const std::int32_t board = boardArgument(run.words.at(0));
    const std::string& port = run.words.at(1);
    const DipSwitch* dipSwitch = nullptr;
    for (const DipSwitch& candidate : kDipSwitches) {
        if (port == candidate.port) {
            dipSwitch = &candidate;
        }
    }
    if (dipSwitch == nullptr) {
        throw UsageError("unknown port " + quoted(port) + " (A or B)");
    }
    const std::string& position = run.words.at(2);
    if (position != "on" && position != "off") {
        throw UsageError("unknown dip-switch position " + quoted(position) + " (on or off)");
    }
    // The extension's DS4510 behind IOS1: each port's dip-switch drives its signal pin.
    const CommandRun onExtension{
        {run.words[0], "IOS1"}, false, run.environment, run.in, run.out, run.errors, run.invocation};
    const ChipArgument target = chipArgument(onExtension, board, kIOS1);
    if (target.simulator == nullptr) {
        return kExitFailure;
    }
    if (target.layout().type != ChipType::DS4510) {
        throw UsageError("board " + std::to_string(board) + " has no DS4510 behind IOS1, whose pins the dip-switches drive");
    }
    const unsigned pin = dipSwitch->pin;
    const ExternalLevel level = position == "on" ? ExternalLevel::High : ExternalLevel::Low;
    return driveLine(target, pin, level, run,
                     "Board " + std::to_string(board) + " Port " + port + " dip-switch " + position + ": IOS1 pin " +
                         std::to_string(pin) + " " + externalLevelName(level) + ".");
}

} // namespace vexa::sim
