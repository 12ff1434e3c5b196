#include "LibraryHandle.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>
#endif

namespace vexa::hal {

LibraryHandle::LibraryHandle(std::string fileName, bool releaseOnDestroy_, bool loadNow)
    : releaseOnDestroy(releaseOnDestroy_), file(std::move(fileName)) {
    if (loadNow && module == nullptr) {
        load();
    }
}

#ifdef _WIN32

void LibraryHandle::load() {
    // The library's own imports are looked for in its folder first, not beside the
    // tool: a maker's library that needs another DLL of its bin folder loads wherever
    // the tool was started from.
    module = reinterpret_cast<void*>(LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (module != nullptr) {
        error = 0;
        text.clear();
        return;
    }
    error = GetLastError();
    text.clear();
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (message != nullptr) {
        text.assign(message, length);
        LocalFree(message);
    }
}

void* LibraryHandle::symbol(const char* name) const {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

LibraryHandle::~LibraryHandle() {
    if (releaseOnDestroy && module != nullptr && FreeLibrary(static_cast<HMODULE>(module))) {
        module = nullptr;
    }
}

#else

namespace {

// Reads exactly `size` bytes at `offset`; false when the file ends before.
bool readAt(int fd, void* buffer, std::size_t size, off_t offset) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t got = pread(fd, bytes, size, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

// dlopen trusts the file it is given: on a FIFO it blocks for ever, and a library cut
// short faults the process when the loader touches pages past the file's end. Such a
// file is refused here, with the reason; anything else is left to dlopen to judge.
std::string refusalReason(const std::string& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {}; // dlopen says why it cannot be opened
    }
    std::string reason;
    struct stat status {};
    Elf64_Ehdr header{};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = file + ": not a regular file";
    } else if (readAt(fd, &header, sizeof header, 0) && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
               header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_phentsize == sizeof(Elf64_Phdr)) {
        std::vector<Elf64_Phdr> segments(header.e_phnum);
        const bool complete = readAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr),
                                     static_cast<off_t>(header.e_phoff));
        for (const Elf64_Phdr& segment : segments) {
            if (!complete || (segment.p_type == PT_LOAD &&
                              (segment.p_offset > static_cast<std::uint64_t>(status.st_size) ||
                               segment.p_filesz > static_cast<std::uint64_t>(status.st_size) - segment.p_offset))) {
                reason = file + ": file is cut short";
                break;
            }
        }
    }
    close(fd);
    return reason;
}

} // namespace

void LibraryHandle::load() {
    if (std::string reason = refusalReason(file); !reason.empty()) {
        error = 1;
        text = std::move(reason);
        return;
    }
    // A full path only: no library search path is consulted.
    module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) {
        error = 0;
        text.clear();
        return;
    }
    const char* message = dlerror();
    error = 1; // dlopen has no numeric code; the text says what went wrong
    text = message != nullptr ? message : "";
}

void* LibraryHandle::symbol(const char* name) const {
    if (module == nullptr) {
        return nullptr;
    }
    return dlsym(module, name);
}

LibraryHandle::~LibraryHandle() {
    if (releaseOnDestroy && module != nullptr && dlclose(module) == 0) {
        module = nullptr;
    }
}

#endif

} // namespace vexa::hal
