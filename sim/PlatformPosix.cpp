#include "Platform.h"

#include "PlatformDetail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vexa::sim {

using namespace detail; // what both platforms share

std::error_code detail::lastError() {
    return std::error_code(errno, std::generic_category());
}

namespace {
std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Root may write whatever the mode says: a file or folder nobody may write is read-only
// for root too.
bool isReadOnly(const std::string& file, const struct stat& status) {
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0;
}
} // namespace

void FileLock::open() {
    // The path was judged when the lock was made: a link put there since is not followed.
    descriptor = ::open(filePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
        // A folder that became read-only still has the lock files of earlier runs.
        descriptor = ::open(filePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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

bool FileLock::needless(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 || errno != ENOENT) {
        return false;
    }
    const std::string folder = folderOf(path);
    return stat(folder.c_str(), &status) == 0 && isReadOnly(folder, status);
}

std::optional<long> FileLock::holder(const std::string& path) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) {
        return std::nullopt;
    }
    // The kernel lists every lock: "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF".
    std::ostringstream id;
    id << std::hex << major(file.st_dev) << ':' << minor(file.st_dev) << ':' << std::dec << file.st_ino;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, access, device;
        long pid = 0;
        if (words >> number >> kind >> mode >> access >> pid >> device && kind == "FLOCK" && pid > 0) {
            // The device's numbers are printed with at least two hexadecimal digits.
            std::istringstream fields(device);
            unsigned long high = 0, low = 0, inode = 0;
            char colon = 0;
            if (fields >> std::hex >> high >> colon >> low >> colon >> std::dec >> inode &&
                high == major(file.st_dev) && low == minor(file.st_dev) && inode == file.st_ino) {
                return pid;
            }
        }
    }
    return std::nullopt;
}

namespace {

constexpr int kMaxLinks = 40; // as many as the kernel follows in one path
constexpr long kProcFileSystem = 0x9fa0;

const char kOthersLink[] = "a link of another user: not followed";
const char kSharedFolderLink[] =
    "a link in a sticky folder anyone may write, made by neither you nor the folder's owner: not followed";
const char kDanglingLink[] = "a dangling link in a folder others may write: nothing is made through it";

bool othersMayWrite(const struct stat& folder) {
    return (folder.st_mode & S_IWOTH) != 0;
}

// Root and this process's effective user are trusted, and in a sticky folder anyone
// may write only the follower and the folder's owner, as the kernel's
// protected_symlinks has it (which many systems leave off). Null when it may be followed.
const char* linkRefusal(const struct stat& link, const struct stat& folder) {
    const uid_t self = geteuid();
    if (link.st_uid != 0 && link.st_uid != self) {
        return kOthersLink;
    }
    if ((folder.st_mode & S_ISVTX) != 0 && othersMayWrite(folder) && link.st_uid != self &&
        link.st_uid != folder.st_uid) {
        return kSharedFolderLink;
    }
    return nullptr;
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name; // relative to the current folder
    }
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Pushes the names of `path` so that the first is taken first.
void pushNames(const std::string& path, std::vector<std::string>& names) {
    std::vector<std::string> ahead;
    std::istringstream parts(path);
    for (std::string name; std::getline(parts, name, '/');) {
        if (!name.empty() && name != ".") {
            ahead.push_back(name);
        }
    }
    names.insert(names.end(), ahead.rbegin(), ahead.rend());
}

// `path` with every name still to walk appended, taken off `names`.
std::string withTheRest(std::string path, std::vector<std::string>& names) {
    while (!names.empty()) {
        path = joined(path, names.back());
        names.pop_back();
    }
    return path;
}

struct Followed {
    std::string path;
    // A link in /proc names something this process has open; the kernel follows it
    // from there on, as its target may be no path (a pipe, say).
    bool byKernel = false;
};

// Walks `path` one name at a time, judging each link before it is followed.
Followed follow(const std::string& path) {
    std::vector<std::string> names;
    pushNames(path, names);
    std::string resolved = !path.empty() && path[0] == '/' ? "/" : "";
    std::string linkInOpenFolder;
    int links = 0;
    while (!names.empty()) {
        const std::string candidate = joined(resolved, names.back());
        names.pop_back();
        struct stat entry {};
        if (lstat(candidate.c_str(), &entry) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) {
                failWith("cannot check", candidate, lastError());
            }
            // Nothing lies below a name that does not exist: no link to follow there.
            resolved = withTheRest(candidate, names);
            break;
        }
        if (!S_ISLNK(entry.st_mode)) {
            resolved = candidate;
            continue;
        }
        const std::string folderPath = resolved.empty() ? "." : resolved;
        struct stat folder {};
        struct statfs system {};
        if (stat(folderPath.c_str(), &folder) != 0 || statfs(folderPath.c_str(), &system) != 0) {
            failWith("cannot check", folderPath, lastError());
        }
        if (const char* why = linkRefusal(entry, folder)) {
            refuse(candidate, why);
        }
        if (system.f_type == kProcFileSystem) {
            return {withTheRest(candidate, names), true};
        }
        if (++links > kMaxLinks) {
            failWith("cannot open", path, std::error_code(ELOOP, std::generic_category()));
        }
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(candidate, error).string();
        if (error) {
            failWith("cannot read the link", candidate, error);
        }
        if (othersMayWrite(folder)) {
            linkInOpenFolder = candidate;
        }
        if (!target.empty() && target[0] == '/') {
            resolved = "/";
        }
        pushNames(target, names);
    }
    struct stat file {};
    if (!linkInOpenFolder.empty() && lstat(resolved.c_str(), &file) != 0 && errno == ENOENT) {
        refuse(linkInOpenFolder, kDanglingLink);
    }
    return {resolved, false};
}

} // namespace

std::string followLinks(const std::string& path) {
    const Followed followed = follow(path);
    // Refused here, before a lock file is made beside a device, a FIFO or a folder.
    struct stat status {};
    if (stat(followed.path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        refuse(path, kNotRegular);
    }
    return followed.path;
}

void appendToFile(const std::string& path, const std::string& text) {
    // A link put in the judged file's place meanwhile is not followed.
    const Followed followed = follow(path);
    const int file = open(followed.path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (followed.byKernel ? 0 : O_NOFOLLOW), 0644);
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
        if (isReadOnly(file, status)) {
            refuse(file, file == path ? kReadOnlyFile : "the folder is read-only");
        }
    }
}

namespace detail {
void writeDurably(const std::string& path, const std::string& contents, const std::string& target) {
    // Neither a device nor a folder is ever replaced, nor gives its mode to the file.
    struct stat old {};
    const bool targetExists = stat(target.c_str(), &old) == 0;
    if (targetExists && !S_ISREG(old.st_mode)) {
        refuse(target, kNotRegular);
    }
    struct stat leftOver {};
    if (lstat(path.c_str(), &leftOver) == 0 && !S_ISREG(leftOver.st_mode)) {
        refuse(path, kNotRegular);
    }
    unlink(path.c_str()); // what a killed process left
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        failWith("cannot create", path, lastError());
    }
    bool ok = !targetExists || fchmod(file, old.st_mode & 07777) == 0;
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
} // namespace detail

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string defaultStatePath() {
    const std::string stateHome = environmentValue("XDG_STATE_HOME");
    if (!stateHome.empty() && stateHome[0] == '/') {
        return stateHome + "/vexa-sim/state";
    }
    const std::string home = environmentValue("HOME");
    return home.empty() ? std::string() : home + "/.local/state/vexa-sim/state";
}

const char kStateHomeVariables[] = "XDG_STATE_HOME or HOME";

} // namespace vexa::sim
