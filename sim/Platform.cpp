#include "Platform.h"

#include "PlatformDetail.h"

#include <filesystem>
#include <stdexcept>
#include <thread>

namespace vexa::sim {

namespace detail {

void failWith(const std::string& what, const std::string& path, const std::error_code& error) {
    throw std::runtime_error(path + ": " + what + ": " + error.message());
}

void createParentFolders(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::u8path(path).parent_path();
    std::error_code error;
    if (!parent.empty() && !std::filesystem::create_directories(parent, error) && error) {
        failWith("cannot create the folder", parent.u8string(), error);
    }
}

void refuse(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + ": " + why);
}

} // namespace detail

FileLock::FileLock(const std::string& path, Unlocked) : filePath(followLinks(path)) {
    detail::createParentFolders(path);
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

void replaceFile(const std::string& path, const std::string& contents) {
    detail::createParentFolders(path);
    const std::string temporary = path + ".tmp";
    detail::writeDurably(temporary, contents, path);
    detail::renameOver(temporary, path);
    detail::syncFolder(path);
}

} // namespace vexa::sim
