#include "ChipDump.h"

#include "Format.h"

#include <optional>
#include <set>
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
        std::string header;
        std::getline(input, header);
        ++lineNumber;
        if (header != kHeader) {
            fail("not a vexa-sim chip dump (it starts \"" + std::string(kHeader) + "\")");
        }
        for (std::string line; std::getline(input, line);) {
            ++lineNumber;
            std::istringstream stream(line.substr(0, line.find('#')));
            std::vector<std::string> words;
            for (std::string word; stream >> word;) {
                words.push_back(word);
            }
            if (!words.empty()) {
                statement(words);
            }
        }
        if (!chipSeen || imageLinesSeen.size() != 2 * kRegisterCount / kBytesPerLine || !writesSeen) {
            fail("incomplete: a dump has a chip line, 16 sram and 16 eeprom lines and a writes line");
        }
        return result;
    }

private:
    [[noreturn]] void fail(const std::string& message) const {
        throw DumpError(name + ":" + std::to_string(lineNumber) + ": " + message);
    }

    std::uint64_t number(const std::string& text, std::uint64_t high) const {
        const std::optional<std::uint64_t> value = parseUnsigned(text);
        if (!value || *value > high) {
            fail("bad number \"" + text + "\"");
        }
        return *value;
    }

    void statement(const std::vector<std::string>& words) {
        if (words[0] == "chip" && words.size() == 2 && !chipSeen) {
            if (words[1] != chipLayout(ChipType::DS4510).name && words[1] != chipLayout(ChipType::DS4520).name) {
                fail("unknown chip \"" + words[1] + "\" (DS4510 or DS4520)");
            }
            result.chip = words[1] == chipLayout(ChipType::DS4510).name ? ChipType::DS4510 : ChipType::DS4520;
            chipSeen = true;
        } else if ((words[0] == "sram" || words[0] == "eeprom") && words.size() == 2 + kBytesPerLine) {
            const std::uint64_t first = number(words[1], kRegisterCount - kBytesPerLine);
            const std::string key = words[0] + " " + hex(first, 2);
            if (first % kBytesPerLine != 0 || !imageLinesSeen.insert(key).second) {
                fail("a second or misplaced line \"" + key + "\"");
            }
            RegisterImage& image = words[0] == "sram" ? result.memory.sram : result.memory.eeprom;
            for (std::size_t i = 0; i < kBytesPerLine; ++i) {
                image[first + i] = static_cast<std::uint8_t>(number("0x" + words[2 + i], 0xFF));
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
    bool chipSeen = false;
    bool writesSeen = false;
    std::set<std::string> imageLinesSeen; // "sram 0x00", "eeprom 0x10", ...
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

} // namespace vexa::sim
