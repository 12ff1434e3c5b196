#include "Format.h"

#include <charconv>

namespace vexa::sim {

std::string hex(std::uint64_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    while (value != 0 || static_cast<int>(text.size()) < digits) {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    }
    return "0x" + text;
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t count, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) {
            text += separator;
        }
        text += hex(bytes[i], 2).substr(2);
    }
    return text;
}

std::string interfaceName(std::uint32_t code) {
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return hex(code, 8);
        }
        name += c;
    }
    return name;
}

std::optional<std::uint64_t> parseUnsigned(const std::string& text) {
    const bool hexadecimal = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hexadecimal ? 2 : 0);
    const char* last = text.data() + text.size();
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hexadecimal ? 16 : 10);
    if (first == last || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

void printLine(std::ostream& stream, const std::string& line) {
    stream << line << '\n';
    stream.flush();
}

} // namespace vexa::sim
