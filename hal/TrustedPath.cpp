#include "TrustedPath.h"

#ifndef _WIN32

#include "TrustRules.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
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

// Names still to follow, the next one last.
using Pending = std::vector<std::string>;

// Puts the names of `path` on top of `pending`, its first name next.
void pushComponents(Pending& pending, const std::string& path) {
    for (std::size_t end = path.size(); end > 0;) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t at = slash == std::string::npos ? 0 : slash + 1;
        if (end > at) {
            pending.push_back(path.substr(at, end - at));
        }
        end = slash == std::string::npos ? 0 : slash;
    }
}

struct Folder {
    Descriptor fd;
    std::string path;
    struct stat status {};
};

class Walk {
public:
    Walk(TrustedPath& result_, bool mayBeMissing_) : result(result_), mayBeMissing(mayBeMissing_) {}

    // Opens the root folder and judges it; false when the walk is over.
    bool start() {
        Folder root;
        root.fd = Descriptor(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        root.path = "/";
        if (!root.fd.valid() || fstat(root.fd.get(), &root.status) != 0) {
            result.error = errno;
            return false;
        }
        folders.reserve(16);
        folders.push_back(std::move(root));
        return judge(trust::Entry::Folder, "/", folders.back().status);
    }

    // Follows the names of `path`, and the links among them, until all are used; false
    // when the walk is over, ended by a refusal or reaching the end.
    bool follow(const std::string& path) {
        pushComponents(pending, path);
        while (!pending.empty()) {
            const std::string name = std::move(pending.back());
            pending.pop_back();
            if (!step(name)) {
                return false;
            }
        }
        return true;
    }

    Folder& top() { return folders.back(); }

    bool inLastName = false; // following the path's last name, and the links it leads to

private:
    bool judge(trust::Entry kind, const std::string& path, const struct stat& status) {
        result.distrust = trust::refusal(kind, path, status, effectiveUser, trust::systemGroupFacts);
        return result.distrust.empty();
    }

    bool fail(int error) {
        result.error = error;
        return false;
    }

    std::string pathOf(const std::string& name) { return (top().path == "/" ? "" : top().path) + "/" + name; }

    bool step(const std::string& name) {
        if (name == ".") {
            return true;
        }
        if (name == "..") {
            if (folders.size() > 1) {
                folders.pop_back(); // judged on the way down
            }
            return true;
        }
        const bool last = pending.empty() && inLastName;
        Descriptor entry(openat(top().fd.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
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
        const std::string path = pathOf(name);
        if (S_ISLNK(status.st_mode)) {
            if (!judge(trust::Entry::Link, path, status)) {
                return false;
            }
            return expand(entry);
        }
        if (S_ISDIR(status.st_mode) && !last) {
            if (!judge(trust::Entry::Folder, path, status)) {
                return false;
            }
            folders.push_back({std::move(entry), path, status});
            return true;
        }
        if (!last) {
            return fail(ENOTDIR);
        }
        if (!judge(S_ISDIR(status.st_mode) ? trust::Entry::Folder : trust::Entry::File, path, status)) {
            return false;
        }
        return finish(name, std::move(entry), status);
    }

    // Puts the link's target in the place of its name.
    bool expand(const Descriptor& link) {
        if (++links > kMostLinks) {
            return fail(ELOOP);
        }
        std::vector<char> target(PATH_MAX);
        const ssize_t length = readlinkat(link.get(), "", target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            return fail(length < 0 ? errno : EAGAIN); // changed while it was read
        }
        const std::string text(target.data(), static_cast<std::size_t>(length));
        if (inLastName) {
            result.throughLink = true;
            result.linkInSharedFolder =
                result.linkInSharedFolder || trust::othersMayWrite(top().status, trust::systemGroupFacts);
        }
        if (!text.empty() && text[0] == '/') {
            folders.resize(1);
        }
        pushComponents(pending, text);
        return true;
    }

    bool finish(const std::string& name, Descriptor entry, const struct stat& status) {
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
    Pending pending;
    const uid_t effectiveUser = geteuid();
    int links = 0;
};

} // namespace

TrustedPath walkTrusted(const std::string& path, bool mayBeMissing) {
    TrustedPath result;
    std::string absolute = path;
    if (path.empty() || path[0] != '/') {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) == nullptr) {
            result.error = errno;
            return result;
        }
        absolute = std::string(here) + "/" + path;
    }
    const std::size_t end = absolute.find_last_not_of('/');
    if (end == std::string::npos) {
        result.error = EISDIR;
        return result;
    }
    const std::size_t slash = absolute.rfind('/', end);
    Walk walk(result, mayBeMissing);
    if (!walk.start() || !walk.follow(absolute.substr(0, slash))) {
        return result;
    }
    result.nameFolder = Descriptor(fcntl(walk.top().fd.get(), F_DUPFD_CLOEXEC, 0));
    walk.inLastName = true;
    if (walk.follow(absolute.substr(slash + 1, end - slash))) {
        result.error = EISDIR; // the path ends in "." or ".."
    }
    return result;
}

} // namespace vexa::hal

#endif
