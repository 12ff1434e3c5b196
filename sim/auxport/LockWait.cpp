#include "LockWait.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vexa::sim {

namespace {

constexpr std::chrono::milliseconds kPollInterval(10);

enum class Probe { Free, Held, Unknown };

#ifdef _WIN32
Probe probe(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Probe::Unknown;
    }
    OVERLAPPED whole{};
    Probe result = Probe::Unknown;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
        result = Probe::Free;
    } else if (GetLastError() == ERROR_LOCK_VIOLATION) {
        result = Probe::Held;
    }
    CloseHandle(file);
    return result;
}
#else
Probe probe(const std::string& path) {
    const int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (file < 0) {
        return Probe::Unknown;
    }
    Probe result = Probe::Unknown;
    if (flock(file, LOCK_EX | LOCK_NB) == 0) {
        result = Probe::Free;
    } else if (errno == EWOULDBLOCK) {
        result = Probe::Held;
    }
    close(file); // releases the probe's lock, if it got one
    return result;
}
#endif

} // namespace

bool waitUntilUnlocked(const std::string& path, std::uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (probe(path) == Probe::Held) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

} // namespace vexa::sim
