#include "LineOutput.h"

#include <stdexcept>

namespace vexa::hal {

namespace {

// True when the whole line reached the file (or the device) behind the stream.
bool writeLine(std::FILE* stream, LinePieces pieces) {
    bool written = true;
    for (const std::string_view piece : pieces) {
        written = std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size() && written;
    }
    written = std::fputc('\n', stream) != EOF && written;
    return std::fflush(stream) == 0 && written && !std::ferror(stream);
}

} // namespace

void printLine(std::FILE* out, LinePieces pieces) {
    if (!writeLine(out, pieces)) {
        throw std::runtime_error("Failed to write standard output");
    }
}

void printErrorLine(std::FILE* err, LinePieces pieces) {
    writeLine(err, pieces);
}

} // namespace vexa::hal
