#include "LibraryFile.h"

#ifndef _WIN32

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vexa::hal {

namespace {

#if defined(__x86_64__)
constexpr unsigned kOwnMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kOwnMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr unsigned kOwnMachine = EM_386;
#elif defined(__arm__)
constexpr unsigned kOwnMachine = EM_ARM;
#elif defined(__riscv)
constexpr unsigned kOwnMachine = EM_RISCV;
#else
constexpr unsigned kOwnMachine = EM_NONE; // not compared
#endif

// The name the toolchains give a machine of the ELF header.
std::string machineName(unsigned machine) {
    switch (machine) {
    case EM_X86_64:
        return "x86-64";
    case EM_AARCH64:
        return "aarch64";
    case EM_386:
        return "i386";
    case EM_ARM:
        return "arm";
    case EM_RISCV:
        return "riscv";
    case EM_PPC64:
        return "ppc64";
    case EM_S390:
        return "s390";
    default:
        return "machine " + std::to_string(machine);
    }
}

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

// The machine an ELF file was built for; EM_NONE when it is no ELF file. The field
// lies at the same place for both classes, in the file's own byte order.
unsigned machineOf(int fd) {
    unsigned char head[EI_NIDENT + 4] = {};
    if (!readAt(fd, head, sizeof head, 0) || std::memcmp(head, ELFMAG, SELFMAG) != 0) {
        return EM_NONE;
    }
    const unsigned low = head[EI_NIDENT + 2];
    const unsigned high = head[EI_NIDENT + 3];
    return head[EI_DATA] == ELFDATA2MSB ? (low << 8) | high : (high << 8) | low;
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

// The system loader trusts the file it is given: a library for another machine is
// reported as missing, and one cut short, or whose tail is zeros, faults the process
// when the loader touches pages past the file's end or follows the zeros. Such a file
// is refused here, with the reason; anything else is left to dlopen to judge.
std::string damageReason(int fd, const struct stat& status, const std::string& file) {
    const unsigned machine = machineOf(fd);
    if (machine != EM_NONE && kOwnMachine != EM_NONE && machine != kOwnMachine) {
        return file + ": built for " + machineName(machine) + ", not " + machineName(kOwnMachine);
    }
    Elf64_Ehdr header{};
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

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// As the system loader words it: "<file>: cannot open shared object file: <why>".
std::string cannotOpen(const std::string& file, int error) {
    return file + ": cannot open shared object file: " + std::strerror(error);
}

} // namespace

CheckedLibrary checkLibrary(const std::string& file) {
    CheckedLibrary checked;
    TrustedPath path = walkTrusted(file, false);
    if (!path.distrust.empty()) {
        checked.refusal = "not loading " + file + ": " + path.distrust;
        checked.distrusted = true;
        return checked;
    }
    if (path.error != 0) {
        checked.refusal = cannotOpen(file, path.error);
        return checked;
    }
    if (!S_ISREG(path.status.st_mode)) {
        checked.refusal = file + ": not a regular file";
        return checked;
    }
    // Non-blocking and without a controlling terminal, should anything but the file
    // judged be found here after all.
    Descriptor opened(
        openat(path.folder.get(), path.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!opened.valid() || fstat(opened.get(), &status) != 0) {
        checked.refusal = cannotOpen(file, errno);
        return checked;
    }
    if (!sameFile(status, path.status)) {
        checked.refusal = file + ": the file changed while it was checked";
        return checked;
    }
    checked.refusal = damageReason(opened.get(), status, file);
    if (checked.refusal.empty()) {
        const std::size_t slash = file.rfind('/');
        checked.name = slash == std::string::npos ? file : file.substr(slash + 1);
        checked.nameFolder = std::move(path.nameFolder);
        checked.file = std::move(opened);
    }
    return checked;
}

} // namespace vexa::hal

#endif
