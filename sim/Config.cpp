#include "Config.h"

#include "Format.h"
#include "Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <system_error>
#include <utility>

namespace vexa::sim {

const char kDefaultConfigName[] = "built-in default";

const char kDefaultConfigText[] = R"(# One board of each kind of GPIO layout.
slots 4
write-cycle-ms 20

# A board with its GPIO extension attached.
board 0 type 0x752
expander 0 IOS0 DS4520
expander 0 IOS1 DS4510

# A board with a fixed second GPIO bank.
board 1 type 0x7510
expander 1 IOS0 DS4520
expander 1 IOS1 DS4510

# A board with the front GPIO bank only.
board 2 type 0xB63
expander 2 IOS0 DS4520

# A board type without a GPIO layout.
board 3 type 0x754
expander 3 IOS0 DS4520
)";

const BoardConfig* Config::board(std::int32_t index) const {
    for (const BoardConfig& candidate : boards) {
        if (candidate.index == index) {
            return &candidate;
        }
    }
    return nullptr;
}

namespace {

using Words = std::vector<std::string>;

constexpr std::uint64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();

// The words of a line: '#' starts a comment, blanks (a Windows line end included) separate.
Words splitWords(const std::string& line) {
    std::istringstream stream(line.substr(0, line.find('#')));
    Words words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

class Parser {
public:
    explicit Parser(const std::string& sourceName) { config.source = sourceName; }

    Config parse(std::istream& input) {
        for (std::string line; std::getline(input, line);) {
            ++lineNumber;
            checkCharacters(line);
            const Words words = splitWords(line);
            if (!words.empty()) {
                statement(words);
            }
        }
        if (input.bad()) {
            throw ConfigError(config.source + ": the file could not be read");
        }
        finish();
        return std::move(config);
    }

private:
    using Handler = void (Parser::*)(const Words&);

    [[noreturn]] void fail(const std::string& message) const {
        throw ConfigError(config.source + ":" + std::to_string(lineNumber) + ": " + message);
    }

    // Drops the UTF-8 byte-order mark that editors on Windows write at the start of a
    // file, and refuses a NUL byte, which would cut every message about the line short.
    void checkCharacters(std::string& line) const {
        static const char kByteOrderMark[] = "\xEF\xBB\xBF";
        if (lineNumber == 1 && line.compare(0, 3, kByteOrderMark) == 0) {
            line.erase(0, 3);
        }
        if (line.find('\0') != std::string::npos) {
            fail("NUL byte in the line");
        }
    }

    void statement(const Words& words) {
        static const std::pair<const char*, Handler> kStatements[] = {
            {"slots", &Parser::slots},       {"write-cycle-ms", &Parser::writeCycle},
            {"fail-call", &Parser::failCall}, {"board", &Parser::board},
            {"expander", &Parser::expander},  {"register", &Parser::registerValue},
            {"sram", &Parser::sramValue},     {"external", &Parser::external},
            {"transfer-result", &Parser::transferResult},
        };
        for (const auto& [name, handler] : kStatements) {
            if (words[0] == name) {
                (this->*handler)(words);
                return;
            }
        }
        fail("unknown statement " + quoted(words[0]));
    }

    const std::string& word(const Words& words, std::size_t i, const std::string& what) const {
        if (i >= words.size()) {
            fail("missing " + what);
        }
        return words[i];
    }

    std::uint64_t number(const Words& words, std::size_t i, const std::string& what, std::uint64_t low,
                         std::uint64_t high) const {
        const std::string& text = word(words, i, what);
        const std::optional<std::uint64_t> value = parseUnsigned(text);
        if (!value || *value < low || *value > high) {
            fail("bad " + what + " " + quoted(text) + " (" + std::to_string(low) + " to " +
                 std::to_string(high) + ")");
        }
        return *value;
    }

    void expectEnd(const Words& words, std::size_t i) const {
        if (i < words.size()) {
            fail("unexpected " + quoted(words[i]));
        }
    }

    // Any 32-bit code: decimal from -2147483648 to 2147483647, or hexadecimal up to
    // 0xFFFFFFFF taken as the 32-bit pattern.
    std::int32_t typeCode(const Words& words, std::size_t i) const {
        const std::string& text = word(words, i, "board type");
        const bool negative = text[0] == '-';
        const bool hexadecimal = text.find_first_of("xX") != std::string::npos;
        const std::uint64_t limit = hexadecimal ? 0xFFFFFFFFu : kInt32Max + (negative ? 1 : 0);
        const std::optional<std::uint64_t> value = parseUnsigned(negative ? text.substr(1) : text);
        if (!value || *value > limit || (negative && hexadecimal)) {
            fail("bad board type " + quoted(text) + " (a 32-bit code)");
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? 0 - *value : *value));
    }

    void slots(const Words& words) {
        if (slotsLine != 0) {
            fail("slots given twice");
        }
        config.slots = static_cast<std::int32_t>(number(words, 1, "slot count", 0, kInt32Max));
        expectEnd(words, 2);
        slotsLine = lineNumber;
    }

    void writeCycle(const Words& words) {
        config.writeCycleMs = static_cast<std::uint32_t>(number(words, 1, "write cycle time", 0, 1000));
        expectEnd(words, 2);
    }

    void failCall(const Words& words) {
        config.failingCall = number(words, 1, "call number", 1, kUint64Max);
        expectEnd(words, 2);
    }

    void transferResult(const Words& words) {
        const std::string& result = word(words, 1, "transfer result");
        if (result != "count" && result != "zero") {
            fail("bad transfer result " + quoted(result) + " (count or zero)");
        }
        config.transfersReturnZero = result == "zero";
        expectEnd(words, 2);
    }

    void board(const Words& words) {
        BoardConfig board;
        board.index = static_cast<std::int32_t>(number(words, 1, "board index", 0, kInt32Max - 1));
        if (config.board(board.index) != nullptr) {
            fail("board " + std::to_string(board.index) + " is declared twice");
        }
        if (word(words, 2, "\"type\"") != "type") {
            fail("expected \"type\", not " + quoted(words[2]));
        }
        board.type = typeCode(words, 3);
        for (std::size_t i = 4; i < words.size(); ++i) {
            if (words[i] == "fail-open") {
                board.failOpen = true;
            } else if (words[i] == "fail-type") {
                board.failTypeQuery = true;
            } else {
                fail("unexpected " + quoted(words[i]));
            }
        }
        config.boards.push_back(board);
        boardLines.push_back(lineNumber);
    }

    void expander(const Words& words) {
        ExpanderConfig expander;
        expander.board = static_cast<std::int32_t>(number(words, 1, "board index", 0, kInt32Max - 1));
        if (config.board(expander.board) == nullptr) {
            fail("board " + std::to_string(expander.board) + " is not declared above");
        }
        const std::string& interface = word(words, 2, "interface");
        if (interface != "IOS0" && interface != "IOS1") {
            fail("unknown interface " + quoted(interface) + " (IOS0 or IOS1)");
        }
        expander.interfaceCode = interface == "IOS0" ? kIOS0 : kIOS1;
        expander.busAddress = interface == "IOS0" ? 0xA0 : 0xA2;
        const std::string& chip = word(words, 3, "chip");
        if (chip != "DS4510" && chip != "DS4520") {
            fail("unknown chip " + quoted(chip) + " (DS4510 or DS4520)");
        }
        expander.chip = chip == "DS4510" ? ChipType::DS4510 : ChipType::DS4520;
        expander.powerUp = factoryImage(expander.chip);
        expander.sram = expander.powerUp;
        expanderOptions(words, expander);
        for (const ExpanderConfig& other : config.expanders) {
            if (other.board != expander.board) {
                continue;
            }
            if (other.interfaceCode == expander.interfaceCode) {
                fail("board " + std::to_string(expander.board) + " already has an expander behind " + interface);
            }
            if (other.busAddress == expander.busAddress) {
                fail("bus address " + hex(expander.busAddress, 2) + " is already taken on board " +
                     std::to_string(expander.board));
            }
        }
        config.expanders.push_back(expander);
    }

    void expanderOptions(const Words& words, ExpanderConfig& expander) const {
        for (std::size_t i = 4; i < words.size(); ++i) {
            if (words[i] == "address") {
                expander.busAddress = static_cast<std::uint8_t>(number(words, ++i, "bus address", 0, 0xFE));
                if ((expander.busAddress & 1) != 0) {
                    fail("bad bus address " + quoted(words[i]) + " (the 8-bit form is even)");
                }
            } else if (words[i] == "absent") {
                expander.absent = true;
            } else if (words[i] == "answers") {
                expander.answeredTransfers = number(words, ++i, "transfer count", 0, kUint64Max);
            } else if (words[i] == "busy") {
                const std::string& mode = word(words, ++i, "busy mode");
                if (mode != "wait" && mode != "refuse") {
                    fail("unknown busy mode " + quoted(mode) + " (wait or refuse)");
                }
                expander.refuseWhileBusy = mode == "refuse";
            } else if (words[i] == "endurance") {
                expander.endurance = static_cast<std::uint32_t>(number(words, ++i, "page write count", 1, 0xFFFFFFFF));
            } else if (words[i] == "floating") {
                const std::string& level = word(words, ++i, "floating level");
                if (level != "low" && level != "high") {
                    fail("unknown floating level " + quoted(level) + " (low or high)");
                }
                expander.floatingHigh = level == "high";
            } else if (words[i] == "fail-read") {
                expander.failingRead = number(words, ++i, "read number", 1, kUint64Max);
            } else if (words[i] == "fail-write") {
                expander.failingWrite = number(words, ++i, "write number", 1, kUint64Max);
            } else {
                fail("unexpected " + quoted(words[i]));
            }
        }
    }

    ExpanderConfig& currentExpander(const std::string& statementName) {
        if (config.expanders.empty()) {
            fail(statementName + " before any expander");
        }
        return config.expanders.back();
    }

    struct RegisterSetting {
        std::uint8_t address;
        std::uint8_t value;
        RegisterKind kind;
    };

    // The address and value of a "register" or "sram" statement, for a register that holds
    // what is written to it.
    RegisterSetting registerSetting(const Words& words, const ChipLayout& layout) const {
        const auto address = static_cast<std::uint8_t>(number(words, 1, "register address", 0, 0xFF));
        const auto value = static_cast<std::uint8_t>(number(words, 2, "register value", 0, 0xFF));
        expectEnd(words, 3);
        const RegisterKind kind = registerKind(layout, address);
        if (kind == RegisterKind::Reserved) {
            fail("register " + hex(address, 2) + " of the " + layout.name + " is reserved");
        }
        if (kind == RegisterKind::Status) {
            fail("register " + hex(address, 2) + " of the " + layout.name + " is read-only");
        }
        return {address, value, kind};
    }

    void registerValue(const Words& words) {
        ExpanderConfig& expander = currentExpander("register");
        const ChipLayout& layout = chipLayout(expander.chip);
        const RegisterSetting setting = registerSetting(words, layout);
        // A chip comes up with SEE clear, whatever it held before.
        if (setting.address == layout.see.address && (setting.value & layout.see.mask) != 0) {
            fail("SEE (bit " + hex(layout.see.mask, 2) + " of register " + hex(layout.see.address, 2) + ") of the " +
                 layout.name + " is clear after every power-up; \"sram\" sets it in a new machine");
        }
        expander.powerUp[setting.address] = setting.value;
        expander.sram[setting.address] = setting.value;
    }

    void sramValue(const Words& words) {
        ExpanderConfig& expander = currentExpander("sram");
        const ChipLayout& layout = chipLayout(expander.chip);
        const RegisterSetting setting = registerSetting(words, layout);
        if (setting.kind == RegisterKind::UserMemory) {
            fail("register " + hex(setting.address, 2) + " of the " + layout.name + " is EEPROM only");
        }
        expander.sram[setting.address] = setting.value;
    }

    void external(const Words& words) {
        ExpanderConfig& expander = currentExpander("external");
        const ChipLayout& layout = chipLayout(expander.chip);
        const auto pin = static_cast<unsigned>(number(words, 1, "pin of the " + std::string(layout.name), 0,
                                                      layout.pins.size() - 1));
        const std::string& level = word(words, 2, "level");
        expectEnd(words, 3);
        for (const ExternalLevel value : {ExternalLevel::High, ExternalLevel::Low, ExternalLevel::Floating}) {
            if (level == externalLevelName(value)) {
                expander.external[pin] = value;
                return;
            }
        }
        fail("unknown level " + quoted(level) + " (high, low or floating)");
    }

    // Checks that need the whole file: the slot count may come after the boards.
    void finish() {
        for (std::size_t i = 0; i < config.boards.size(); ++i) {
            const std::int32_t index = config.boards[i].index;
            if (slotsLine == 0) {
                config.slots = std::max(config.slots, index + 1);
            } else if (index >= config.slots) {
                lineNumber = boardLines[i];
                fail("board " + std::to_string(index) + " does not fit in " + std::to_string(config.slots) +
                     " board slots");
            }
        }
    }

    Config config;
    unsigned lineNumber = 0;
    unsigned slotsLine = 0; // 0: no slots line
    std::vector<unsigned> boardLines;
};

} // namespace

Config parseConfig(std::istream& input, const std::string& name) {
    return Parser(name).parse(input);
}

SimEnvironment SimEnvironment::fromProcess() {
    SimEnvironment environment;
    environment.configPath = environmentValue("VEXA_SIM_CONFIG");
    environment.statePath = environmentValue("VEXA_SIM_STATE");
    if (environment.statePath.empty()) {
        environment.statePath = defaultStatePath();
    }
    environment.tracePath = environmentValue("VEXA_SIM_TRACE");
    environment.failingCall = environmentValue("VEXA_SIM_FAIL_CALL");
    return environment;
}

Config loadConfig(const SimEnvironment& environment) {
    Config config;
    if (environment.configPath.empty()) {
        std::istringstream text(kDefaultConfigText);
        config = parseConfig(text, kDefaultConfigName);
    } else {
        std::optional<std::string> text;
        try {
            text = readSmallFile(environment.configPath);
        } catch (const std::runtime_error& failure) {
            throw ConfigError(failure.what());
        }
        if (!text) {
            throw ConfigError(environment.configPath + ": cannot open: " + std::generic_category().message(ENOENT));
        }
        std::istringstream file(*text);
        config = parseConfig(file, environment.configPath);
    }
    if (!environment.failingCall.empty()) {
        const std::optional<std::uint64_t> call = parseUnsigned(environment.failingCall);
        if (!call || *call == 0) {
            throw ConfigError("VEXA_SIM_FAIL_CALL: bad call number " + quoted(environment.failingCall) +
                              " (1 or more)");
        }
        config.failingCall = call;
    }
    return config;
}

} // namespace vexa::sim
