#pragma once
// Following a path on Linux the way the kernel would, but from the root folder down,
// one entry at a time, through entries that the trust rules accept only: a file
// reached this way cannot have been put there, or swapped in on the way, by anyone
// the tool does not trust.

#ifndef _WIN32

#include <string>

#include <sys/stat.h>

namespace vexa::hal {

// An open descriptor, closed when the object goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd_) : fd(fd_) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    int release() {
        const int held = fd;
        fd = -1;
        return held;
    }
    void reset(int replacement = -1);

private:
    int fd = -1;
};

// Where a walk ended. Every descriptor is opened with O_PATH: nothing was read or
// written, so a device or a FIFO at the end has seen nothing.
struct TrustedPath {
    Descriptor nameFolder; // the folder of the path's last name, as the path gives it
    Descriptor folder;     // the folder that holds what the path leads to, links followed
    std::string name;      // what the path leads to, by its name in `folder`
    Descriptor entry;      // it, unless it does not exist
    struct stat status {}; // its status, when it exists
    struct stat folderStatus {};
    bool throughLink = false;         // the last name was a link
    bool linkInSharedFolder = false;  // ... followed from a folder others may write

    // Why the walk stopped: a reason of the trust rules, naming the entry at fault,
    // or else the system's error number; neither is set when it reached the end.
    std::string distrust;
    int error = 0;

    bool reached() const { return distrust.empty() && error == 0; }
};

// Walks `path` (a relative one from the current folder, whose own path is walked too).
// With `mayBeMissing`, a last name that does not exist ends the walk as reached, with
// no `entry`, so that the caller may create it in `folder`.
TrustedPath walkTrusted(const std::string& path, bool mayBeMissing);

} // namespace vexa::hal

#endif
