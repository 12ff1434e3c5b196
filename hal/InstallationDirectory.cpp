#include "InstallationDirectory.h"

#include "LoaderTrace.h"
#include "Platform.h"
#include "SpinLockVariableGuard.h"
#include "detail/InstallationDirectory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/auxv.h>
#include <unistd.h>
#endif

namespace vexa::hal {

namespace {

std::atomic<std::int32_t> lockWord{0};
bool found = false;
char directory[kDirectoryBufferSize];

bool equalsIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*a) != lower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// Index of the last separator before `end`, or -1.
std::ptrdiff_t lastSeparatorBefore(const char* path, std::ptrdiff_t end, char separator) {
    for (std::ptrdiff_t i = end - 1; i >= 0; --i) {
        if (path[i] == separator) {
            return i;
        }
    }
    return -1;
}

// Ends the path at the start of the run of separators that ends at `at`.
void cutRunEndingAt(char* path, std::ptrdiff_t at, char separator) {
    while (at > 0 && path[at - 1] == separator) {
        --at;
    }
    path[at] = '\0';
}

const char* const kInstallationFolderNames[] = {"bin", "dll", "Hardware Morvets", "lib", "lib64"};

bool isInstallationFolderName(const char* name) {
    for (const char* folder : kInstallationFolderNames) {
        if (equalsIgnoringAsciiCase(name, folder)) {
            return true;
        }
    }
    return false;
}

const char* tracedVariable(const char* name) {
    const char* value = std::getenv(name);
    if (trace::on()) {
        trace::variable(name, value);
    }
    return value;
}

// VEXADIR5_64 when set (even when empty), else VEXADIR5, else null.
const char* environmentDirectoryValue() {
    const char* value = tracedVariable("VEXADIR5_64");
    return value != nullptr ? value : tracedVariable("VEXADIR5");
}

} // namespace

bool cutToInstallationDirectory(char* path, char separator) {
    std::ptrdiff_t current = lastSeparatorBefore(path, static_cast<std::ptrdiff_t>(std::strlen(path)), separator);
    if (current <= 0) {
        return false;
    }
    for (;;) {
        cutRunEndingAt(path, current, separator);
        const std::ptrdiff_t previous =
            lastSeparatorBefore(path, static_cast<std::ptrdiff_t>(std::strlen(path)), separator);
        if (previous < 0) {
            return false; // the first component is never compared
        }
        const char* candidate = path + previous + 1;
        const bool matches = isInstallationFolderName(candidate);
        if (trace::on()) {
            trace::step({"folder ", candidate, matches ? " matches" : " does not match"});
        }
        if (matches) {
            cutRunEndingAt(path, previous, separator);
            return true;
        }
        current = previous;
    }
}

void copyEnvironmentDirectory(char* buffer, const char* value, char separator) {
    // A longer value keeps its first 1023 characters. Copied by hand: strncpy would be
    // one libc function more to bind at start.
    std::size_t length = 0;
    while (length < kDirectoryBufferSize - 1 && value[length] != '\0') {
        buffer[length] = value[length];
        ++length;
    }
    buffer[length] = '\0';
    while (length > 1 && buffer[length - 1] == separator) {
        buffer[--length] = '\0';
    }
}

#ifdef _WIN32

std::uint32_t ownModulePath(char* buffer) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(buffer), &module)) {
        return 0;
    }
    const DWORD length = GetModuleFileNameA(module, buffer, static_cast<DWORD>(kDirectoryBufferSize));
    return length == kDirectoryBufferSize ? 0 : length;
}

#else

namespace {

// The file of the executable that was started, links resolved; false when it is gone.
// Started through the dynamic loader ("ld.so vexa-gpio ..."), /proc/self/exe names the
// loader, while this still names the tool. A relative name counts from the current
// folder, which the tool never changes.
bool startedExecutable(char* buffer, std::uint32_t& length) {
    const auto* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    char* resolved = started != nullptr ? realpath(started, nullptr) : nullptr;
    if (resolved == nullptr) {
        return false;
    }
    const std::size_t size = std::strlen(resolved);
    length = 0; // 1024 characters or more: did not fit
    if (size < kDirectoryBufferSize) {
        std::memcpy(buffer, resolved, size + 1);
        length = static_cast<std::uint32_t>(size);
    }
    std::free(resolved);
    return true;
}

} // namespace

std::uint32_t ownModulePath(char* buffer) {
    if (std::uint32_t length = 0; startedExecutable(buffer, length)) {
        return length;
    }
    // readlinkat() as in the path walk: one libc function less to bind at start.
    const ssize_t length = readlinkat(AT_FDCWD, "/proc/self/exe", buffer, kDirectoryBufferSize);
    if (length <= 0 || static_cast<std::size_t>(length) >= kDirectoryBufferSize) {
        return 0; // unknown, or 1024 characters or more: did not fit
    }
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

#endif

const char* getInstallationDirectory() {
    vexa::templates::platform::SpinLockVariableGuard guard(lockWord);
    if (found) {
        return directory;
    }
    const bool ownPathKnown = ownModulePath(directory) != 0;
    if (trace::on()) {
        trace::step({"self ", ownPathKnown ? directory : "unknown"});
    }
    if (ownPathKnown && cutToInstallationDirectory(directory, kPathSeparator)) {
        found = true;
        return directory;
    }
    const char* value = environmentDirectoryValue();
    if (value == nullptr) {
        return nullptr;
    }
    copyEnvironmentDirectory(directory, value, kPathSeparator);
    found = true;
    return directory;
}

} // namespace vexa::hal
