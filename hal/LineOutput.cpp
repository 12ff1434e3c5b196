#include "LineOutput.h"

#include "hal/StandardDescriptors.h"

#include <cerrno>

namespace vexa::hal {

namespace {

// 0 when the whole line reached the file (or the device) behind the stream; otherwise
// the errno value of the first step that failed (EIO when it left none).
int writeLine(std::FILE* stream, LinePieces pieces) {
    int error = 0;
    const auto check = [&error](bool done) {
        if (!done && error == 0) {
            error = errno != 0 ? errno : EIO;
        }
    };
    errno = 0;
    for (const std::string_view piece : pieces) {
        check(std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size());
    }
    check(std::fputc('\n', stream) != EOF);
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
