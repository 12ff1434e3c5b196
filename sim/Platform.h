#pragma once
// The operating-system services the simulator needs, for Linux and Windows alike:
// cross-process file locks, atomic file replacement, one-call appends, default paths.

#include <chrono>
#include <memory>
#include <string>

namespace vexa::sim {

// An exclusive lock on a file, created (with its folders) when missing, held until the
// object is destroyed or the process ends. The constructor waits while another process,
// or another FileLock in this one, holds the lock. Throws std::runtime_error.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    // Waits at most `limit`; null when the lock is still held by then.
    static std::unique_ptr<FileLock> within(const std::string& path, std::chrono::milliseconds limit);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    struct Unlocked {};
    FileLock(const std::string& path, Unlocked); // opens the file only
    bool tryLock();

    bool held = false;
#ifdef _WIN32
    void* handle; // HANDLE
#else
    int descriptor;
#endif
};

// Writes `contents` to `path` in one step, through a temporary file beside it that is
// renamed over the target: readers find the old file or the new one. Callers
// hold a lock that keeps other writers of the file out. Throws std::runtime_error.
void replaceFile(const std::string& path, const std::string& contents);

// Appends `text` with a single write, creating the file when missing. Throws
// std::runtime_error.
void appendToFile(const std::string& path, const std::string& text);

// The per-user state file: %LOCALAPPDATA%\vexa-sim\state on Windows,
// $XDG_STATE_HOME/vexa-sim/state or ~/.local/state/vexa-sim/state elsewhere.
std::string defaultStatePath();

// An environment variable's value; empty when unset.
std::string environmentValue(const char* name);

} // namespace vexa::sim
