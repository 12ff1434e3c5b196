#include "StateFile.h"

#include "Format.h"
#include "Platform.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>

namespace vexa::sim {

namespace {

const char kHeader[] = "vexa-sim state 1";

// The words of each line of an entry, in order.
const char kExpanderWord[] = "expander";
const char kSramWord[] = "sram";
const char kEepromWord[] = "eeprom";
const char kWritesWord[] = "writes";
// Optional lines after an entry's "writes" line; a state without them still loads.
const char kMadeFromWord[] = "made-from";
const char kLevelsWord[] = "levels"; // one word a pin: "-" for the configured level
const char kConfiguredLevel[] = "-";

const char* chipName(ChipType chip) {
    return chipLayout(chip).name;
}

std::string imageText(const RegisterImage& image) {
    return hexBytes(image.data(), image.size(), "");
}

class StateParser {
public:
    StateParser(std::istream& stream, const std::string& fileName) : input(stream), name(fileName) {}

    std::vector<StateEntry> parse() {
        std::string header;
        std::getline(input, header);
        ++lineNumber;
        if (header != kHeader) {
            fail("not a vexa-sim state file of this version");
        }
        std::vector<StateEntry> entries;
        for (std::vector<std::string> words = nextLine(); !words.empty(); words = nextLine()) {
            if (!entries.empty() && optionalLine(words, entries.back())) {
                continue;
            }
            entries.push_back(entry(words));
        }
        return entries;
    }

private:
    [[noreturn]] void fail(const std::string& message) const {
        throw StateError(name + ":" + std::to_string(lineNumber) + ": " + message);
    }

    // Empty at the end of the file.
    std::vector<std::string> nextLine() {
        std::string line;
        if (!std::getline(input, line)) {
            return {};
        }
        ++lineNumber;
        std::istringstream stream(line);
        std::vector<std::string> words;
        for (std::string word; stream >> word;) {
            words.push_back(word);
        }
        if (words.empty()) {
            fail("empty line");
        }
        return words;
    }

    std::vector<std::string> expect(const char* first, std::size_t count) {
        std::vector<std::string> words = nextLine();
        if (words.size() != count || words[0] != first) {
            fail(std::string("expected \"") + first + "\" and " + std::to_string(count - 1) + " values");
        }
        return words;
    }

    std::uint64_t number(const std::string& text, std::uint64_t high) const {
        const std::optional<std::uint64_t> value = parseUnsigned(text);
        if (!value || *value > high) {
            fail("bad number \"" + text + "\"");
        }
        return *value;
    }

    RegisterImage image(const char* word) {
        const std::string text = expect(word, 2)[1];
        if (text.size() != 2 * kRegisterCount) {
            fail(std::string("expected ") + std::to_string(kRegisterCount) + " bytes");
        }
        RegisterImage result{};
        for (std::size_t i = 0; i < kRegisterCount; ++i) {
            result[i] = static_cast<std::uint8_t>(number("0x" + text.substr(2 * i, 2), 0xFF));
        }
        return result;
    }

    // An optional line of the entry above; false when the words are none.
    bool optionalLine(const std::vector<std::string>& words, StateEntry& entry) const {
        if (words[0] == kLevelsWord) {
            levels(words, entry);
            return true;
        }
        if (words[0] != kMadeFromWord) {
            return false;
        }
        if (words.size() != 2 || entry.madeFrom) {
            fail(std::string("expected one \"") + kMadeFromWord + "\" and a fingerprint");
        }
        entry.madeFrom = number(words[1], 0xFFFFFFFFFFFFFFFF);
        return true;
    }

    void levels(const std::vector<std::string>& words, StateEntry& entry) const {
        const std::size_t pins = chipLayout(entry.chip).pins.size();
        const bool seen = std::any_of(entry.levels.begin(), entry.levels.end(),
                                      [](const std::optional<ExternalLevel>& level) { return level.has_value(); });
        if (words.size() != pins + 1 || seen) {
            fail(std::string("expected one \"") + kLevelsWord + "\" and " + std::to_string(pins) + " levels");
        }
        for (std::size_t pin = 0; pin < pins; ++pin) {
            const std::optional<ExternalLevel> level = parseExternalLevel(words[pin + 1]);
            if (!level && words[pin + 1] != kConfiguredLevel) {
                fail("bad level \"" + words[pin + 1] + "\"");
            }
            entry.levels[pin] = level;
        }
    }

    StateEntry entry(const std::vector<std::string>& words) {
        if (words.size() != 4 || words[0] != kExpanderWord) {
            fail("expected \"expander <board> <interface> <chip>\"");
        }
        StateEntry result;
        result.board = static_cast<std::int32_t>(number(words[1], 0x7FFFFFFF));
        result.interfaceCode = static_cast<std::uint32_t>(number(words[2], 0xFFFFFFFF));
        if (words[3] != chipName(ChipType::DS4510) && words[3] != chipName(ChipType::DS4520)) {
            fail("unknown chip \"" + words[3] + "\"");
        }
        result.chip = words[3] == chipName(ChipType::DS4510) ? ChipType::DS4510 : ChipType::DS4520;
        result.memory.sram = image(kSramWord);
        result.memory.eeprom = image(kEepromWord);
        const std::vector<std::string> writes = expect(kWritesWord, kPageCount + 1);
        for (std::size_t page = 0; page < kPageCount; ++page) {
            result.memory.pageWrites[page] = static_cast<std::uint32_t>(number(writes[page + 1], 0xFFFFFFFF));
        }
        return result;
    }

    std::istream& input;
    const std::string& name;
    unsigned lineNumber = 0;
};

} // namespace

std::string formatState(const std::vector<StateEntry>& entries) {
    std::string text = std::string(kHeader) + "\n";
    for (const StateEntry& entry : entries) {
        text += std::string(kExpanderWord) + " " + std::to_string(entry.board) + " " + hex(entry.interfaceCode, 8) +
                " " + chipName(entry.chip) + "\n";
        text += std::string(kSramWord) + " " + imageText(entry.memory.sram) + "\n";
        text += std::string(kEepromWord) + " " + imageText(entry.memory.eeprom) + "\n";
        text += kWritesWord;
        for (const std::uint32_t count : entry.memory.pageWrites) {
            text += " " + std::to_string(count);
        }
        text += "\n";
        const std::size_t pins = chipLayout(entry.chip).pins.size();
        if (std::any_of(entry.levels.begin(), entry.levels.begin() + static_cast<std::ptrdiff_t>(pins),
                        [](const std::optional<ExternalLevel>& level) { return level.has_value(); })) {
            text += kLevelsWord;
            for (std::size_t pin = 0; pin < pins; ++pin) {
                text += std::string(" ") + (entry.levels[pin] ? externalLevelName(*entry.levels[pin]) : kConfiguredLevel);
            }
            text += "\n";
        }
        if (entry.madeFrom) {
            text += std::string(kMadeFromWord) + " " + hex(*entry.madeFrom, 16) + "\n";
        }
    }
    return text;
}

std::vector<StateEntry> parseState(std::istream& input, const std::string& name) {
    return StateParser(input, name).parse();
}

std::vector<StateEntry> StateFile::read(const std::string& file) {
    const std::optional<std::string> text = readSmallFile(file);
    if (!text) {
        return {};
    }
    std::istringstream stream(*text);
    return parseState(stream, file);
}

template <typename Action>
auto StateFile::locked(Action action) const {
    try {
        const std::string file = followLinks(filePath);
        const std::string lockPath = file + ".lock";
        const std::unique_ptr<FileLock> lock =
            FileLock::needless(lockPath) ? nullptr : std::make_unique<FileLock>(lockPath);
        return action(file);
    } catch (const StateError&) {
        throw;
    } catch (const std::runtime_error& failure) {
        throw StateError(failure.what());
    }
}

std::vector<StateEntry> StateFile::load() const {
    return locked([](const std::string& file) { return read(file); });
}

void StateFile::replaceBoard(std::int32_t board, const std::vector<StateEntry>& entries) const {
    locked([&](const std::string& file) {
        std::vector<StateEntry> kept;
        for (const StateEntry& entry : read(file)) {
            if (entry.board != board) {
                kept.push_back(entry);
            }
        }
        kept.insert(kept.end(), entries.begin(), entries.end());
        requireWritable(file);
        replaceFile(file, formatState(kept));
    });
}

void StateFile::clear() const {
    locked([](const std::string& file) {
        requireWritable(file);
        replaceFile(file, formatState({}));
    });
}

std::string StateFile::boardLockPath(std::int32_t board) const {
    return followLinks(filePath) + ".board" + std::to_string(board) + ".lock";
}

} // namespace vexa::sim
