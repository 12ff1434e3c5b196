#include "Platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + ": " + why);
}

const char kNotRegular[] = "not a regular file";
const char kTooLarge[] = "larger than 1 MiB";
const char kReadOnlyFile[] = "the file is read-only";

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

FileLock::FileLock(const std::string& path, Unlocked) : filePath(path) {
    createParentFolders(path);
    open();
}

FileLock::FileLock(const std::string& path) : FileLock(path, Unlocked{}) {
    // The object is whole once the delegated constructor is done: a throw here runs
    // the destructor, which closes the file.
    acquire(true);
}

std::unique_ptr<FileLock> FileLock::within(const std::string& path, std::chrono::milliseconds limit) {
    constexpr std::chrono::milliseconds kPollInterval(10);
    std::unique_ptr<FileLock> lock(new FileLock(path, Unlocked{}));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!lock->acquire(false)) {
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

void FileLock::open() {
    constexpr std::chrono::milliseconds kRetryInterval(10);
    for (;;) {
        handle = CreateFileA(filePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        // A sharing violation lasts only while another process removes the unused file.
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
            break;
        }
        std::this_thread::sleep_for(kRetryInterval);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        failWith("cannot open the lock file", filePath, lastError());
    }
}

bool FileLock::acquire(bool wait) {
    OVERLAPPED whole{};
    held = LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0, MAXDWORD, MAXDWORD,
                      &whole);
    if (!held && wait) {
        failWith("cannot lock", filePath, lastError());
    }
    return held;
}

FileLock::~FileLock() {
    if (held) {
        OVERLAPPED whole{};
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    }
    CloseHandle(handle);
    if (removing) {
        // Opening without sharing fails while any other process has the file open, so
        // nobody who holds or awaits the lock loses it; closing removes the file.
        const HANDLE unused = CreateFileA(filePath.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (unused != INVALID_HANDLE_VALUE) {
            CloseHandle(unused);
        }
    }
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

std::optional<std::string> readSmallFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const std::error_code error = lastError();
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            refuse(path, kNotRegular);
        }
        if (error.value() == ERROR_FILE_NOT_FOUND || error.value() == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        failWith("cannot open", path, error);
    }
    LARGE_INTEGER size{};
    const char* problem = nullptr;
    std::string contents;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        problem = kNotRegular; // a device such as NUL, or a pipe
    } else if (!GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) > kMaxFileSize) {
        problem = kTooLarge;
    } else {
        contents.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (!contents.empty() && (!ReadFile(file, contents.data(), static_cast<DWORD>(contents.size()), &got, nullptr) ||
                                  got != contents.size())) {
            const std::error_code error = lastError();
            CloseHandle(file);
            failWith("cannot read", path, error);
        }
    }
    CloseHandle(file);
    if (problem != nullptr) {
        refuse(path, problem);
    }
    return contents;
}

void requireWritable(const std::string& path) {
    // A folder's read-only attribute means nothing on Windows: only the file's counts.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        refuse(path, kReadOnlyFile);
    }
}

namespace {
void writeDurably(const std::string& path, const std::string& contents, const std::string&) {
    DeleteFileA(path.c_str()); // whatever a killed process left
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failWith("cannot create", path, lastError());
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
                    written == contents.size() && FlushFileBuffers(file);
    const std::error_code error = lastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(path.c_str());
        failWith("cannot write", path, error);
    }
}

void renameOver(const std::string& from, const std::string& to) {
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::error_code error = lastError();
        DeleteFileA(from.c_str());
        failWith("cannot replace", to, error);
    }
}

void syncFolder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already flushed the rename.
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

void FileLock::open() {
    descriptor = ::open(filePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
        // A folder that became read-only still has the lock files of earlier runs.
        descriptor = ::open(filePath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (descriptor < 0) {
        failWith("cannot open the lock file", filePath, lastError());
    }
}

bool FileLock::acquire(bool wait) {
    for (;;) {
        int result;
        do {
            result = flock(descriptor, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            if (!wait && errno == EWOULDBLOCK) {
                return false;
            }
            failWith("cannot lock", filePath, lastError()); // the destructor closes the file
        }
        struct stat locked {};
        struct stat named {};
        if (fstat(descriptor, &locked) == 0 && stat(filePath.c_str(), &named) == 0 && locked.st_ino == named.st_ino &&
            locked.st_dev == named.st_dev) {
            held = true;
            return true;
        }
        // The file was removed while this process waited for it: lock the one named now.
        close(descriptor);
        descriptor = -1;
        open();
    }
}

FileLock::~FileLock() {
    if (held && removing) {
        unlink(filePath.c_str()); // waiters see it gone once they hold the lock
    }
    if (descriptor >= 0) {
        close(descriptor); // releases the lock
    }
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
std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

} // namespace

std::optional<std::string> readSmallFile(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        failWith("cannot open", path, lastError());
    }
    struct stat status {};
    const char* problem = nullptr;
    std::string contents;
    if (fstat(file, &status) != 0) {
        const std::error_code error = lastError();
        close(file);
        failWith("cannot read", path, error);
    }
    if (!S_ISREG(status.st_mode)) {
        problem = kNotRegular;
    } else {
        // Reads one byte past the limit, as the file may have grown since fstat.
        char buffer[65536];
        ssize_t got;
        while (contents.size() <= kMaxFileSize && (got = read(file, buffer, sizeof buffer)) != 0) {
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                const std::error_code error = lastError();
                close(file);
                failWith("cannot read", path, error);
            }
            contents.append(buffer, static_cast<std::size_t>(got));
        }
        if (contents.size() > kMaxFileSize) {
            problem = kTooLarge;
        }
    }
    close(file);
    if (problem != nullptr) {
        refuse(path, problem);
    }
    return contents;
}

void requireWritable(const std::string& path) {
    const std::string folder = folderOf(path);
    for (const std::string& file : {path, folder}) {
        struct stat status {};
        if (stat(file.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                continue; // created when written
            }
            failWith("cannot check", file, lastError());
        }
        // Root may write whatever the mode says: a file or folder nobody may write is
        // read-only for root too.
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
            refuse(file, file == path ? kReadOnlyFile : "the folder is read-only");
        }
    }
}

namespace {
void writeDurably(const std::string& path, const std::string& contents, const std::string& target) {
    unlink(path.c_str()); // whatever a killed process left, of whatever kind
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        failWith("cannot create", path, lastError());
    }
    struct stat old {};
    bool ok = stat(target.c_str(), &old) != 0 || fchmod(file, old.st_mode & 07777) == 0;
    for (std::size_t done = 0; ok && done < contents.size();) {
        const ssize_t written = write(file, contents.data() + done, contents.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        ok = written > 0;
        done += ok ? static_cast<std::size_t>(written) : 0;
    }
    ok = ok && fsync(file) == 0;
    const std::error_code error = lastError();
    ok = close(file) == 0 && ok;
    if (!ok) {
        unlink(path.c_str());
        failWith("cannot write", path, error);
    }
}

void renameOver(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        const std::error_code error = lastError();
        unlink(from.c_str());
        failWith("cannot replace", to, error);
    }
}

// Makes the rename itself survive a power loss.
void syncFolder(const std::string& path) {
    const std::string folder = folderOf(path);
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        failWith("cannot open the folder", folder, lastError());
    }
    const bool ok = fsync(directory) == 0;
    const std::error_code error = lastError();
    close(directory);
    if (!ok) {
        failWith("cannot flush the folder", folder, error);
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
    writeDurably(temporary, contents, path);
    renameOver(temporary, path);
    syncFolder(path);
}

} // namespace vexa::sim
