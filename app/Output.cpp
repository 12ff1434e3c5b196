#include "Output.h"

#include <stdexcept>

namespace vexa {

namespace {

// True when the whole line reached the file (or the device) behind the stream.
bool writeLine(std::FILE* stream, const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
                         std::fputc('\n', stream) != EOF;
    return std::fflush(stream) == 0 && written && !std::ferror(stream);
}

} // namespace

void printLine(std::FILE* out, const std::string& text) {
    if (!writeLine(out, text)) {
        throw std::runtime_error("Failed to write standard output");
    }
}

void printErrorLine(std::FILE* err, const std::string& text) {
    writeLine(err, text);
}

} // namespace vexa
