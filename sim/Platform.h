#pragma once
// The operating-system services the simulator needs, for Linux and Windows alike:
// cross-process file locks, atomic file replacement, one-call appends, default paths.
// Every path and variable's value here is UTF-8 text; on Windows it is handed to the
// system's wide functions, so neither the host program's code page nor its manifest
// decides which letters a user's folder may have.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexa::sim {

// An exclusive lock on a file, created (with its folders) when missing, held until the
// object is destroyed or the process ends. The constructor waits while another process,
// or another FileLock in this one, holds the lock. The path is taken as followLinks
// takes it. Throws std::runtime_error.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    // Waits at most `limit`; null when the lock is still held by then.
    static std::unique_ptr<FileLock> within(const std::string& path, std::chrono::milliseconds limit);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // True when the lock file does not exist and cannot be made because its folder is
    // read-only (in the sense of requireWritable): nothing in such a folder can change,
    // so there is nothing to exclude, and the caller goes on without the lock.
    static bool needless(const std::string& path);
    // The process that holds the lock, where the system tells it (Linux).
    static std::optional<long> holder(const std::string& path);

    // Removes the file when the lock is given up. A process that was waiting for it
    // then locks the file that has the name afterwards. On Windows the file stays while
    // any other process has it open.
    void removeOnRelease() { removing = true; }

private:
    struct Unlocked {};
    FileLock(const std::string& path, Unlocked); // opens the file only
    void open();
    // Waits for the lock when `wait`; false when it is held elsewhere and not `wait`.
    bool acquire(bool wait);

    std::string filePath;
    bool held = false;
    bool removing = false;
#ifdef _WIN32
    void* handle; // HANDLE
#else
    int descriptor = -1;
#endif
};

// The file that `path` names once every symbolic link in it is followed (Linux;
// elsewhere `path` itself): a link's target, even one that does not exist yet. A link
// is followed only when it belongs to root or this process's effective user, and, in
// a sticky folder anyone may write, to this user or the folder's owner; a link in a
// folder others may write must not be dangling, so nothing is made through it. Throws
// std::runtime_error naming the path or the link for a refused link, a loop of links,
// and for anything but a regular file (a device, a FIFO, a folder).
std::string followLinks(const std::string& path);

// Files the simulator reads are never larger than this.
constexpr std::uint64_t kMaxFileSize = 1024 * 1024;

// The whole contents of a regular file of at most kMaxFileSize bytes; empty when the
// file does not exist. Anything else (a FIFO, a device, a folder) is refused without
// blocking or reading without end. Throws std::runtime_error naming the file.
std::optional<std::string> readSmallFile(const std::string& path);

// Throws std::runtime_error naming the file when `path`, or the folder it is in, is
// read-only: without write permission for this user, or without any write permission
// bit, which holds for root too. A file that does not exist yet is writable.
void requireWritable(const std::string& path);

// Writes `contents` to `path` in one step, through a temporary file beside it
// (`<path>.tmp`, replacing any regular file left by a process that was killed) that is
// flushed to disk and renamed over the target, keeping its permissions: readers, and a
// machine that loses power, find the old file or the new one. A target or temporary
// file that is not a regular file is refused. Callers hold a lock that keeps other
// writers of the file out. Throws std::runtime_error.
void replaceFile(const std::string& path, const std::string& contents);

// Appends `text` with a single write, creating the file when missing, through the
// links that followLinks follows only. A device or a FIFO is written as it is. Throws
// std::runtime_error.
void appendToFile(const std::string& path, const std::string& text);

// The per-user state file: %LOCALAPPDATA%\vexa-sim\state (or below %USERPROFILE%) on
// Windows, $XDG_STATE_HOME/vexa-sim/state or ~/.local/state/vexa-sim/state elsewhere;
// empty when none of those variables is set.
std::string defaultStatePath();
// The variables that defaultStatePath reads, for a message that none is set.
extern const char kStateHomeVariables[];

// An environment variable's value; empty when unset.
std::string environmentValue(const char* name);

#ifdef _WIN32
// UTF-8 to UTF-16 and back, for the system's wide functions.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
#endif

} // namespace vexa::sim
