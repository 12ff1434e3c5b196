#include "LineOutput.h"

#include "hal/StandardDescriptors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vexa::hal {

namespace {

// 0 when the whole line reached the file (or the device) behind the stream; otherwise
// the errno value of the first step that failed (EIO when it left none). The line is
// gathered in a buffer and handed over in one write, or a few for a long one: each
// call into the stream costs more than copying the pieces.
int writeLine(std::FILE* stream, LinePieces pieces) {
    int error = 0;
    const auto check = [&error](bool done) {
        if (!done && error == 0) {
            error = errno != 0 ? errno : EIO;
        }
    };
    char line[512];
    std::size_t used = 0;
    const auto put = [&](const char* text, std::size_t size) {
        while (size > 0) {
            if (used == sizeof line) {
                check(std::fwrite(line, 1, used, stream) == used);
                used = 0;
            }
            const std::size_t part = std::min(size, sizeof line - used);
            std::memcpy(line + used, text, part);
            used += part;
            text += part;
            size -= part;
        }
    };
    errno = 0;
    for (const std::string_view piece : pieces) {
        put(piece.data(), piece.size());
    }
    put("\n", 1);
    check(std::fwrite(line, 1, used, stream) == used);
    check(std::fflush(stream) == 0);
    check(!std::ferror(stream));
    return error;
}

} // namespace

void printLine(std::FILE* out, LinePieces pieces) {
    const int error = writeLine(out, pieces);
    if (templates::platform::isBrokenPipe(error)) {
        throw ReaderGone();
    }
    if (error != 0) {
        throw std::runtime_error("Failed to write standard output");
    }
}

void printErrorLine(std::FILE* err, LinePieces pieces) {
    writeLine(err, pieces);
}

} // namespace vexa::hal
