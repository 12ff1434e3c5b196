#include "ChipDump.h"

#include "Format.h"

#include <map>
#include <optional>
#include <sstream>
#include <vector>

namespace vexa::sim {

namespace {

const char kHeader[] = "vexa-sim chip dump 1";
constexpr std::size_t kBytesPerLine = 16;

std::string imageLines(const char* word, const RegisterImage& image) {
    std::string text;
    for (std::size_t first = 0; first < kRegisterCount; first += kBytesPerLine) {
        text += std::string(word) + " " + hex(first, 2) + "  " + hexBytes(image.data() + first, kBytesPerLine) + "\n";
    }
    return text;
}

class DumpParser {
public:
    DumpParser(std::istream& stream, const std::string& inputName) : input(stream), name(inputName) {}

    ChipDump parse() {
        for (std::string line; std::getline(input, line);) {
            ++lineNumber;
            // Editors on Windows may start the text with a byte-order mark and end lines in CR LF.
            if (lineNumber == 1 && line.compare(0, 3, kByteOrderMark) == 0) {
                line.erase(0, 3);
            }
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::istringstream stream(line.substr(0, line.find('#')));
            std::vector<std::string> words;
            for (std::string word; stream >> word;) {
                words.push_back(word);
            }
            if (!words.empty()) {
                statement(words);
            }
        }
        // Any text may have a line that looks wrong to a dump: say what the text is first.
        if (!headerSeen) {
            throw DumpError(name + ": not a vexa-sim chip dump (it has no line \"" + kHeader + "\")");
        }
        if (fault) {
            throw DumpError(*fault);
        }
        if (!chipSeen || result.imageLines.size() != 2 * kRegisterCount / kBytesPerLine || !writesSeen) {
            throw DumpError(name + ": incomplete: a dump has a chip line, 16 sram and 16 eeprom lines and a "
                                   "writes line");
        }
        return result;
    }

private:
    static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

    struct Fault {};

    // Ends the statement; the text's first fault is the one reported.
    [[noreturn]] void fail(const std::string& message) {
        if (!fault) {
            fault = name + ":" + std::to_string(lineNumber) + ": " + message;
        }
        throw Fault();
    }

    std::uint64_t number(const std::string& text, std::uint64_t high) {
        const std::optional<std::uint64_t> value = parseUnsigned(text);
        if (!value || *value > high) {
            fail("bad number \"" + text + "\"");
        }
        return *value;
    }

    std::uint8_t byte(const std::string& text) {
        const std::optional<std::uint64_t> value = parseUnsigned("0x" + text);
        if (text.size() != 2 || !value) {
            fail("bad byte \"" + text + "\" (two hexadecimal digits)");
        }
        return static_cast<std::uint8_t>(*value);
    }

    void statement(const std::vector<std::string>& words) {
        try {
            knownStatement(words);
        } catch (const Fault&) {
            // Kept in `fault`; the rest of the text still tells whether it is a dump at all.
        }
    }

    void knownStatement(const std::vector<std::string>& words) {
        if (words.size() == 4 && words[0] == "vexa-sim" && words[1] == "chip" && words[2] == "dump") {
            headerSeen = true;
            if (words[3] != "1") {
                fail("a chip dump of version \"" + words[3] + "\"; this vexa-sim reads version 1");
            }
        } else if (words[0] == "chip" && words.size() == 2 && !chipSeen) {
            if (words[1] != chipLayout(ChipType::DS4510).name && words[1] != chipLayout(ChipType::DS4520).name) {
                fail("unknown chip \"" + words[1] + "\" (DS4510 or DS4520)");
            }
            result.chip = words[1] == chipLayout(ChipType::DS4510).name ? ChipType::DS4510 : ChipType::DS4520;
            chipSeen = true;
        } else if ((words[0] == "sram" || words[0] == "eeprom") && words.size() == 2 + kBytesPerLine) {
            const std::uint64_t first = number(words[1], kRegisterCount - kBytesPerLine);
            const std::string key = words[0] + " " + hex(first, 2);
            if (first % kBytesPerLine != 0 || !result.imageLines.emplace(key, lineNumber).second) {
                fail("a second or misplaced line \"" + key + "\"");
            }
            RegisterImage& image = words[0] == "sram" ? result.memory.sram : result.memory.eeprom;
            for (std::size_t i = 0; i < kBytesPerLine; ++i) {
                image[first + i] = byte(words[2 + i]);
            }
        } else if (words[0] == "writes" && words.size() == 1 + kPageCount && !writesSeen) {
            for (std::size_t page = 0; page < kPageCount; ++page) {
                result.memory.pageWrites[page] = static_cast<std::uint32_t>(number(words[1 + page], 0xFFFFFFFF));
            }
            writesSeen = true;
        } else {
            fail("unexpected line \"" + words[0] + " ...\" (chip <type>, sram|eeprom <address> and 16 bytes, or "
                 "writes and 32 counts, each once)");
        }
    }

    std::istream& input;
    const std::string& name;
    unsigned lineNumber = 0;
    ChipDump result;
    bool headerSeen = false;
    bool chipSeen = false;
    bool writesSeen = false;
    std::optional<std::string> fault; // the first line refused
};

} // namespace

std::string formatChipDump(const ChipDump& dump) {
    std::string text = std::string(kHeader) + "\n";
    text += "chip " + std::string(chipLayout(dump.chip).name) + "\n";
    text += imageLines("sram", dump.memory.sram);
    text += imageLines("eeprom", dump.memory.eeprom);
    text += "writes";
    for (const std::uint32_t count : dump.memory.pageWrites) {
        text += " " + std::to_string(count);
    }
    return text + "\n";
}

ChipDump parseChipDump(std::istream& input, const std::string& name) {
    return DumpParser(input, name).parse();
}

void checkChipBytes(const ChipDump& dump, const std::string& name) {
    const ChipLayout& layout = chipLayout(dump.chip);
    const auto fail = [&](const std::string& image, unsigned address, const std::string& message) {
        const unsigned line = dump.imageLines.at(image + " " + hex(address - address % kBytesPerLine, 2));
        throw DumpError(name + ":" + std::to_string(line) + ": " + message);
    };
    // Zero is what a dump shows where the chip has no byte.
    for (unsigned address = 0; address < kRegisterCount; ++address) {
        const auto where = static_cast<std::uint8_t>(address);
        if (dump.memory.eeprom[address] != 0) {
            const std::string refusal = eepromRefusal(layout, where, dump.memory.eeprom[address]);
            if (!refusal.empty()) {
                fail("eeprom", address, refusal);
            }
        }
        const RegisterKind kind = registerKind(layout, where);
        if (dump.memory.sram[address] != 0 && (kind == RegisterKind::Reserved || kind == RegisterKind::Status)) {
            fail("sram", address, "register " + hex(address, 2) + " of the " + layout.name + " has no SRAM byte");
        }
    }
}

} // namespace vexa::sim
