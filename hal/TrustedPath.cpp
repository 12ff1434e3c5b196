#include "TrustedPath.h"

#ifndef _WIN32

#include "TrustRules.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace vexa::hal {

void Descriptor::reset(int replacement) {
    if (fd >= 0) {
        close(fd);
    }
    fd = replacement;
}

namespace {

// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;

// The names still to follow, as text at the end of a fixed buffer: a link's target is
// put in front of what is left, so the text behind it keeps its place. Every piece put
// in ends in '/', so each name taken is ended in place by a NUL over its slash.
class Pending {
public:
    static constexpr std::size_t kEnd = 4 * PATH_MAX;

    // Puts `text` in front; false when it does not fit.
    bool push(const char* text, std::size_t length) {
        if (length >= begin) {
            return false;
        }
        begin -= length + 1;
        std::memcpy(buffer + begin, text, length);
        buffer[begin + length] = '/';
        return true;
    }

    // Whether a name is left before `limit`.
    bool anyBefore(std::size_t limit) {
        while (begin < limit && buffer[begin] == '/') {
            ++begin;
        }
        return begin < limit;
    }

    // Takes the next name; only once anyBefore() found one.
    const char* take() {
        const char* name = buffer + begin;
        while (buffer[begin] != '/') {
            ++begin;
        }
        buffer[begin++] = '\0';
        return name;
    }

    std::size_t position() const { return begin; }
    char at(std::size_t offset) const { return buffer[offset]; }

private:
    char buffer[kEnd];
    std::size_t begin = kEnd;
};

// A folder passed; its path is the walk's path up to `pathLength`.
struct Folder {
    Descriptor fd;
    std::size_t pathLength;
    struct stat status;
};

class Walk {
public:
    Walk(TrustedPath& result_, bool mayBeMissing_) : result(result_), mayBeMissing(mayBeMissing_) {}

    // Opens the root folder and judges it; false when the walk is over.
    bool start() {
        // openat(), not open(): one libc function less to bind at start.
        Folder root{Descriptor(openat(AT_FDCWD, "/", O_PATH | O_DIRECTORY | O_CLOEXEC)), 1, {}};
        if (!root.fd.valid() || fstat(root.fd.get(), &root.status) != 0) {
            return fail(errno);
        }
        path[0] = '/';
        pathLength = 1;
        folders.reserve(16);
        folders.push_back(std::move(root));
        return judge(trust::Entry::Folder, folders.back().status);
    }

    // Follows the names before `limit`, and the links among them, until all are used;
    // false when the walk is over, ended by a refusal or reaching the end.
    bool follow(std::size_t limit) {
        while (pending.anyBefore(limit)) {
            const char* name = pending.take();
            if (!step(name, inLastName && !pending.anyBefore(limit))) {
                return false;
            }
        }
        return true;
    }

    Folder& top() { return folders.back(); }

    Pending pending;
    bool inLastName = false; // following the path's last name, and the links it leads to

private:
    // Judges the entry whose path `path` holds.
    bool judge(trust::Entry kind, const struct stat& status) {
        result.distrust =
            trust::refusal(kind, std::string_view(path, pathLength), status, effectiveUser, trust::systemGroupFacts);
        return result.distrust.empty();
    }

    bool fail(int error) {
        result.error = error;
        return false;
    }

    // Makes `path` that of `name` in the top folder; false when it is too long.
    bool pathOf(const char* name) {
        std::size_t length = top().pathLength;
        const std::size_t size = std::strlen(name);
        if (length + 1 + size > sizeof path) {
            return false;
        }
        if (length > 1) {
            path[length++] = '/';
        }
        std::memcpy(path + length, name, size);
        pathLength = length + size;
        return true;
    }

    // `name` lies in `pending`, where expand() puts the link's target over it.
    bool step(const char* name, bool last) {
        if (std::strcmp(name, ".") == 0) {
            return true;
        }
        if (std::strcmp(name, "..") == 0) {
            if (folders.size() > 1) {
                folders.pop_back(); // judged on the way down
            }
            return true;
        }
        Descriptor entry(openat(top().fd.get(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!entry.valid()) {
            if (errno == ENOENT && last && mayBeMissing) {
                return finish(name, Descriptor(), status);
            }
            return fail(errno);
        }
        if (fstat(entry.get(), &status) != 0) {
            return fail(errno);
        }
        if (!pathOf(name)) {
            return fail(ENAMETOOLONG);
        }
        if (S_ISLNK(status.st_mode)) {
            if (!judge(trust::Entry::Link, status)) {
                return false;
            }
            return expand(entry);
        }
        if (S_ISDIR(status.st_mode) && !last) {
            if (!judge(trust::Entry::Folder, status)) {
                return false;
            }
            folders.push_back({std::move(entry), pathLength, status});
            return true;
        }
        if (!last) {
            return fail(ENOTDIR);
        }
        if (!judge(S_ISDIR(status.st_mode) ? trust::Entry::Folder : trust::Entry::File, status)) {
            return false;
        }
        return finish(name, std::move(entry), status);
    }

    // Puts the link's target in the place of its name.
    bool expand(const Descriptor& link) {
        if (++links > kMostLinks) {
            return fail(ELOOP);
        }
        char target[PATH_MAX];
        const ssize_t length = readlinkat(link.get(), "", target, sizeof target);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof target) {
            return fail(length < 0 ? errno : EAGAIN); // changed while it was read
        }
        if (inLastName) {
            result.throughLink = true;
            result.linkInSharedFolder =
                result.linkInSharedFolder || trust::othersMayWrite(top().status, trust::systemGroupFacts);
        }
        if (length > 0 && target[0] == '/') {
            folders.resize(1);
        }
        return pending.push(target, static_cast<std::size_t>(length)) || fail(ENAMETOOLONG);
    }

    bool finish(const char* name, Descriptor entry, const struct stat& status) {
        result.name = name;
        result.entry = std::move(entry);
        result.status = status;
        result.folderStatus = top().status;
        result.folder = Descriptor(fcntl(top().fd.get(), F_DUPFD_CLOEXEC, 0));
        return false;
    }

    TrustedPath& result;
    bool mayBeMissing;
    std::vector<Folder> folders;
    char path[PATH_MAX]; // of the entry judged last; each folder's path begins it
    std::size_t pathLength = 0;
    const uid_t effectiveUser = geteuid();
    int links = 0;
};

} // namespace

TrustedPath walkTrusted(const std::string& path, bool mayBeMissing) {
    TrustedPath result;
    Walk walk(result, mayBeMissing);
    if (!walk.pending.push(path.data(), path.size())) {
        result.error = ENAMETOOLONG;
        return result;
    }
    if (path.empty() || path[0] != '/') {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) == nullptr) {
            result.error = errno;
            return result;
        }
        if (!walk.pending.push(here, std::strlen(here))) {
            result.error = ENAMETOOLONG;
            return result;
        }
    }
    // The last name lies between the last slashes but those at the end.
    const std::size_t first = walk.pending.position();
    std::size_t end = Pending::kEnd;
    while (end > first && walk.pending.at(end - 1) == '/') {
        --end;
    }
    if (end == first) {
        result.error = EISDIR;
        return result;
    }
    std::size_t lastName = end;
    while (lastName > first && walk.pending.at(lastName - 1) != '/') {
        --lastName;
    }
    if (!walk.start() || !walk.follow(lastName)) {
        return result;
    }
    result.nameFolder = Descriptor(fcntl(walk.top().fd.get(), F_DUPFD_CLOEXEC, 0));
    walk.inLastName = true;
    if (walk.follow(Pending::kEnd)) {
        result.error = EISDIR; // the path ends in "." or ".."
    }
    return result;
}

} // namespace vexa::hal

#endif
