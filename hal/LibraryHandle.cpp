#include "LibraryHandle.h"

#include <utility>

#ifdef _WIN32
#include "LibrarySearch.h"

#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    // A maker's library that needs another DLL of its bin folder loads wherever the tool
    // was started from, and never with a DLL of the current directory.
    module = templates::platform::loadLibraryWithItsImports(file);
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

// Whether root or the user whose rights the process has owns a file. The effective
// user: a library runs with that user's rights, so only a file that user (or root)
// could have written anyway is trusted.
bool ownedByRootOrUser(const struct stat& status) {
    return status.st_uid == 0 || status.st_uid == geteuid();
}

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

// Why a folder may have been changed by another user; null when it cannot have been.
// A folder others may write is safe only with the sticky bit, which keeps them from
// replacing what they do not own.
const char* folderDistrust(const struct stat& folder) {
    if (!ownedByRootOrUser(folder)) {
        return "its folder belongs to another user";
    }
    if ((folder.st_mode & kWritableByOthers) != 0 && (folder.st_mode & S_ISVTX) == 0) {
        return "others may write its folder";
    }
    return nullptr;
}

// Why a library file may have been planted or changed by another user; null when it
// cannot have been. `folder` holds the file; `linkFolder` holds the name it was asked
// for, a link to it (else it is `folder` again), where another link could be put.
const char* distrustReason(const struct stat& file, const struct stat& folder, const struct stat& linkFolder) {
    if (!ownedByRootOrUser(file)) {
        return "it belongs to another user";
    }
    if ((file.st_mode & kWritableByOthers) != 0) {
        return "others may write it";
    }
    const char* reason = folderDistrust(folder);
    return reason != nullptr ? reason : folderDistrust(linkFolder);
}

// Whether a dynamic segment (inside the file) names the symbol and string tables that
// every library has. A copy interrupted before it reached the segment leaves zeros
// there, and the system loader faults on them.
bool describesLibrary(int fd, const Elf64_Phdr& segment) {
    std::vector<Elf64_Dyn> entries(segment.p_filesz / sizeof(Elf64_Dyn));
    if (!readAt(fd, entries.data(), entries.size() * sizeof(Elf64_Dyn), static_cast<off_t>(segment.p_offset))) {
        return false;
    }
    bool strings = false;
    bool symbols = false;
    for (const Elf64_Dyn& entry : entries) {
        if (entry.d_tag == DT_NULL) {
            break;
        }
        strings = strings || (entry.d_tag == DT_STRTAB && entry.d_un.d_ptr != 0);
        symbols = symbols || (entry.d_tag == DT_SYMTAB && entry.d_un.d_ptr != 0);
    }
    return strings && symbols;
}

// Whether the section header table, which linkers put at the end of the file, lies
// inside the file and its last entry is not zeros. A copy interrupted anywhere leaves
// zeros there; the system loader reads no section header, so this is the one place
// that shows it for sure. A library stripped of its section headers has none to check.
bool sectionHeadersIntact(int fd, const Elf64_Ehdr& header, std::uint64_t size) {
    if (header.e_shnum == 0 || header.e_shentsize != sizeof(Elf64_Shdr)) {
        return true;
    }
    const std::uint64_t table = std::uint64_t{header.e_shnum} * sizeof(Elf64_Shdr);
    if (header.e_shoff > size || table > size - header.e_shoff) {
        return false;
    }
    Elf64_Shdr last{};
    const Elf64_Shdr zeros{};
    return readAt(fd, &last, sizeof last, static_cast<off_t>(header.e_shoff + table - sizeof last)) &&
           std::memcmp(&last, &zeros, sizeof last) != 0;
}

// dlopen trusts the file it is given: on a FIFO it blocks for ever, and a library cut
// short, or whose tail is zeros, faults the process when the loader touches pages past
// the file's end or follows the zeros. Such a file is refused here, with the reason;
// anything else is left to dlopen to judge.
std::string damageReason(int fd, const struct stat& status, const std::string& file) {
    Elf64_Ehdr header{};
    if (!S_ISREG(status.st_mode)) {
        return file + ": not a regular file";
    }
    if (!readAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return {};
    }
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!readAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr), static_cast<off_t>(header.e_phoff))) {
        return file + ": file is cut short";
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    for (const Elf64_Phdr& segment : segments) {
        if ((segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC) &&
            (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)) {
            return file + ": file is cut short";
        }
        if (segment.p_type == PT_DYNAMIC && !describesLibrary(fd, segment)) {
            return file + ": file is damaged";
        }
    }
    if (!sectionHeadersIntact(fd, header, size)) {
        return file + ": file is damaged";
    }
    return {};
}

// The file to load, opened, or why it is not loaded.
struct CheckedFile {
    int fd = -1;
    int folder = -1;  // the folder that holds it, open while fd is
    std::string name; // its name in that folder
    std::string refusal;     // in the words dlerror would use
    bool distrusted = false; // refused because another user may have planted or changed it
};

std::string cannotOpen(const std::string& file, int error) {
    return file + ": cannot open shared object file: " + std::strerror(error);
}

// The folder part of a path: "/" for a file in the root, "." for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens the library for loading. Links are resolved first, so that the file checked
// is the one in the folder checked; both are checked through descriptors, and the
// file is later loaded through its descriptor: no name can be swapped in between.
// When the name is a link, the folder that holds the link is checked as well.
CheckedFile openForLoading(const std::string& file) {
    CheckedFile checked;
    char* resolved = realpath(file.c_str(), nullptr);
    if (resolved == nullptr) {
        checked.refusal = cannotOpen(file, errno);
        return checked;
    }
    const std::string real = resolved;
    std::free(resolved);
    const std::size_t slash = real.rfind('/');
    // O_PATH: a folder that may only be searched serves, as it does for dlopen.
    const int folder = open(folderOf(real).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        checked.refusal = cannotOpen(file, errno);
        return checked;
    }
    const int fd = openat(folder, real.c_str() + slash + 1, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    const int openError = errno;
    struct stat folderStatus {};
    struct stat linkFolderStatus {};
    struct stat status {};
    const bool known = fd >= 0 && fstat(folder, &folderStatus) == 0 && fstat(fd, &status) == 0 &&
                       stat(folderOf(file).c_str(), &linkFolderStatus) == 0;
    if (!known) {
        checked.refusal = cannotOpen(file, fd < 0 ? openError : errno);
    } else if (const char* reason = distrustReason(status, folderStatus, linkFolderStatus); reason != nullptr) {
        checked.refusal = "not loading " + file + ": " + reason;
        checked.distrusted = true;
    } else {
        checked.refusal = damageReason(fd, status, file);
    }
    if (checked.refusal.empty()) {
        checked.fd = fd;
        checked.folder = folder;
        checked.name = real.substr(slash + 1);
        return checked;
    }
    close(folder);
    if (fd >= 0) {
        close(fd);
    }
    return checked;
}

// A library that another user may have planted is named on standard error, once per
// run however often the loader tries again.
void reportDistrust(const std::string& reason) {
    static bool reported = false;
    if (!reported) {
        reported = true;
        std::fputs(("vexa-gpio: " + reason + "\n").c_str(), stderr);
        std::fflush(stderr);
    }
}

} // namespace

void LibraryHandle::load() {
    CheckedFile checked = openForLoading(file);
    if (checked.fd < 0) {
        error = 1;
        text = std::move(checked.refusal);
        if (checked.distrusted) {
            reportDistrust(text);
        }
        return;
    }
    // The file checked, by its name in the folder checked, which the descriptor holds:
    // no other folder can be swapped in on the way, and the name in it can be replaced
    // only by those the folder's check trusts. The library's $ORIGIN is that folder, so
    // it finds the libraries it brings beside it. The descriptor stays open while the
    // library is loaded, for as long as the process lives.
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(checked.folder) + "/" + checked.name;
    struct stat named {};
    struct stat opened {};
    const bool same = fstatat(checked.folder, checked.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      fstat(checked.fd, &opened) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    module = same ? dlopen(byDescriptor.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
    close(checked.fd);
    if (module != nullptr) {
        error = 0;
        text.clear();
        return;
    }
    close(checked.folder);
    error = 1; // dlopen has no numeric code; the text says what went wrong
    if (!same) {
        text = file + ": the file changed while it was checked";
        return;
    }
    const char* message = dlerror();
    text = message != nullptr ? message : "";
    for (std::size_t at = text.find(byDescriptor); at != std::string::npos; at = text.find(byDescriptor, at)) {
        text.replace(at, byDescriptor.size(), file);
        at += file.size();
    }
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
