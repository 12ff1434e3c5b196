#include "TextEscape.h"

#include "Platform.h"

namespace vexa::hal {

std::string escaped(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '"' || (c == '\\' && kPathSeparator != '\\')) {
            shown += '\\';
            shown += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xf];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string quoted(std::string_view value) {
    return "\"" + escaped(value) + "\"";
}

} // namespace vexa::hal
