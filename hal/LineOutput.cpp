#include "LineOutput.h"

#include "hal/StandardDescriptors.h"

#include <cerrno>
#include <cstring>

namespace vexa::hal {

namespace {

// 0 when the whole line reached the file (or the device) behind the stream; otherwise
// the errno value of the first step that failed (EIO when it left none). A line that
// fits the buffer is handed over in one write: each call into the stream costs more
// than copying the pieces.
int writeLine(std::FILE* stream, LinePieces pieces) {
    int error = 0;
    const auto check = [&error](bool done) {
        if (!done && error == 0) {
            error = errno != 0 ? errno : EIO;
        }
    };
    errno = 0;
    std::size_t length = 1; // the newline
    for (const std::string_view piece : pieces) {
        length += piece.size();
    }
    char line[512];
    if (length <= sizeof line) {
        char* end = line;
        for (const std::string_view piece : pieces) {
            std::memcpy(end, piece.data(), piece.size());
            end += piece.size();
        }
        *end = '\n';
        check(std::fwrite(line, 1, length, stream) == length);
    } else {
        for (const std::string_view piece : pieces) {
            check(std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size());
        }
        check(std::fputc('\n', stream) != EOF);
    }
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
