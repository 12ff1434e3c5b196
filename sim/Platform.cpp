#include "Platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vexa::sim {

namespace {

[[noreturn]] void failWith(const std::string& what, const std::string& path, const std::error_code& error) {
    throw std::runtime_error(path + ": " + what + ": " + error.message());
}

void createParentFolders(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!parent.empty() && !std::filesystem::create_directories(parent, error) && error) {
        failWith("cannot create the folder", parent.string(), error);
    }
}

#ifdef _WIN32
std::error_code lastError() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}
#else
std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}
#endif

} // namespace

std::unique_ptr<FileLock> FileLock::within(const std::string& path, std::chrono::milliseconds limit) {
    constexpr std::chrono::milliseconds kPollInterval(10);
    std::unique_ptr<FileLock> lock(new FileLock(path, Unlocked{}));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!lock->tryLock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return nullptr;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return lock;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

#ifdef _WIN32

FileLock::FileLock(const std::string& path, Unlocked) {
    createParentFolders(path);
    handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWith("cannot open the lock file", path, lastError());
    }
}

FileLock::FileLock(const std::string& path) : FileLock(path, Unlocked{}) {
    OVERLAPPED whole{};
    // The object is whole once the delegated constructor is done: a throw here runs
    // the destructor, which closes the file.
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        failWith("cannot lock", path, lastError());
    }
    held = true;
}

bool FileLock::tryLock() {
    OVERLAPPED whole{};
    held = LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole);
    return held;
}

FileLock::~FileLock() {
    if (held) {
        OVERLAPPED whole{};
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    }
    CloseHandle(handle);
}

void appendToFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failWith("cannot open", path, lastError());
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const std::error_code error = lastError();
    CloseHandle(file);
    if (!ok || written != text.size()) {
        failWith("cannot write", path, error);
    }
}

namespace {
void renameOver(const std::string& from, const std::string& to) {
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failWith("cannot replace", to, lastError());
    }
}
} // namespace

std::string defaultStatePath() {
    std::string base = environmentValue("LOCALAPPDATA");
    if (base.empty() && !environmentValue("USERPROFILE").empty()) {
        base = environmentValue("USERPROFILE") + "\\AppData\\Local";
    }
    return base.empty() ? std::string("vexa-sim-state") : base + "\\vexa-sim\\state";
}

#else

FileLock::FileLock(const std::string& path, Unlocked) {
    createParentFolders(path);
    descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        failWith("cannot open the lock file", path, lastError());
    }
}

FileLock::FileLock(const std::string& path) : FileLock(path, Unlocked{}) {
    int result;
    do {
        result = flock(descriptor, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        failWith("cannot lock", path, lastError()); // the destructor closes the file
    }
    held = true;
}

bool FileLock::tryLock() {
    held = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    return held;
}

FileLock::~FileLock() {
    close(descriptor); // releases the lock
}

void appendToFile(const std::string& path, const std::string& text) {
    const int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (file < 0) {
        failWith("cannot open", path, lastError());
    }
    const ssize_t written = write(file, text.data(), text.size());
    const std::error_code error = lastError();
    close(file);
    if (written != static_cast<ssize_t>(text.size())) {
        failWith("cannot write", path, error);
    }
}

namespace {
void renameOver(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        failWith("cannot replace", to, lastError());
    }
}
} // namespace

std::string defaultStatePath() {
    const std::string stateHome = environmentValue("XDG_STATE_HOME");
    if (!stateHome.empty() && stateHome[0] == '/') {
        return stateHome + "/vexa-sim/state";
    }
    const std::string home = environmentValue("HOME");
    return home.empty() ? std::string("vexa-sim-state") : home + "/.local/state/vexa-sim/state";
}

#endif

void replaceFile(const std::string& path, const std::string& contents) {
    createParentFolders(path);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << contents;
        file.close();
        if (!file) {
            const std::error_code error(errno, std::generic_category());
            std::remove(temporary.c_str());
            failWith("cannot write", temporary, error);
        }
    }
    renameOver(temporary, path);
}

} // namespace vexa::sim
