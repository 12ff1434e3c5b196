#include "LoaderTrace.h"

#include "LibraryHandle.h"
#include "TextEscape.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "TrustRules.h"
#include "TrustedPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vexa::hal::trace {

namespace {

enum class Target { Off, StandardError, File, Nowhere };

#ifdef _WIN32

using FileHandle = HANDLE;
const FileHandle kNoFile = INVALID_HANDLE_VALUE;
constexpr const char* kLineEnd = "\r\n"; // as the tool's own streams end their lines

bool isAbsolute(const char* path) {
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || (path[0] == '\\' && path[1] == '\\');
}

// The file only if it is a file on a disk: never a pipe, a console or another device.
FileHandle openForAppending(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kNoFile;
    }
    // Append access only: every write lands at the end, even beside another run's.
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return kNoFile;
    }
    return file;
}

bool writeAll(FileHandle file, const std::string& line) {
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
}

#else

using FileHandle = int;
constexpr FileHandle kNoFile = -1;
constexpr const char* kLineEnd = "\n";

bool isAbsolute(const char* path) {
    return path[0] == '/';
}

// The file only if it is a regular file reached through entries the tool trusts, as
// the library is. A FIFO or a device is refused before it is opened (opening some
// devices does something, and a FIFO without a reader would hold the tool up for
// ever). A file that does not exist yet is created, but never through a link in or
// into a folder others may write, where anyone could have chosen the name it creates.
FileHandle openForAppending(const char* path) {
    const TrustedPath target = walkTrusted(path, true);
    if (!target.reached()) {
        return kNoFile;
    }
    constexpr int kAppend = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int file = -1;
    if (target.entry.valid()) {
        if (S_ISREG(target.status.st_mode)) {
            file = openat(target.folder.get(), target.name.c_str(), kAppend);
        }
    } else if (!target.throughLink ||
               (!target.linkInSharedFolder && !trust::othersMayWrite(target.folderStatus, trust::systemGroupFacts))) {
        file = openat(target.folder.get(), target.name.c_str(), kAppend | O_CREAT | O_EXCL, 0666);
    }
    struct stat status {};
    if (file >= 0 && (fstat(file, &status) != 0 || !S_ISREG(status.st_mode) ||
                      (target.entry.valid() && status.st_ino != target.status.st_ino))) {
        close(file);
        return kNoFile;
    }
    return file;
}

bool writeAll(FileHandle file, const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = write(file, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

#endif

struct Sink {
    Target target = Target::Off;
    FileHandle file = kNoFile;
};

Sink openSink() {
    Sink sink;
    const char* value = std::getenv("VEXA_GPIO_TRACE");
    if (value == nullptr || value[0] == '\0') {
        return sink;
    }
    if (std::string_view(value) == "1") {
        sink.target = Target::StandardError;
    } else if (isAbsolute(value)) {
        sink.file = openForAppending(value);
        sink.target = sink.file == kNoFile ? Target::Nowhere : Target::File;
    } else {
        sink.target = Target::Nowhere;
    }
    return sink;
}

// Opened once, for the whole process; the system closes the file at exit.
Sink& sink() {
    static Sink instance = openSink();
    return instance;
}

} // namespace

bool on() {
    return sink().target != Target::Off;
}

namespace {

// Writes one whole line of the trace, "vexa-gpio: " and `text`.
void writeLine(const std::string& text) {
    Sink& out = sink();
    if (out.target != Target::StandardError && out.target != Target::File) {
        return;
    }
    std::string line = "vexa-gpio: " + text;
    if (out.target == Target::StandardError) {
        line += '\n'; // the stream ends it as the platform does
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    } else if (line += kLineEnd; !writeAll(out.file, line)) {
        out.target = Target::Nowhere; // a full disk ends the trace, not the run
    }
}

} // namespace

void step(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces) {
        text += escaped(piece); // one step, one line, whatever a path or a message holds
    }
    writeLine(text);
}

void variable(const char* name, const char* value) {
    writeLine(std::string("env ") + name + (value != nullptr ? "=" + quoted(value) : " unset"));
}

void loadOutcome(const LibraryHandle& library) {
    if (library.isLoaded()) {
        step({"load ok"});
        return;
    }
    std::string_view text = library.errorText();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.remove_suffix(1); // system messages end with a line break
    }
#ifdef _WIN32
    step({"load failed: error ", std::to_string(library.lastError()), text.empty() ? "" : ": ", text});
#else
    step({"load failed", text.empty() ? "" : ": ", text}); // dlopen's numbers mean nothing
#endif
}

} // namespace vexa::hal::trace
