#include "Platform.h"

#include "PlatformDetail.h"

#include <chrono>
#include <thread>

#include <windows.h>

namespace vexa::sim {

using namespace detail; // what both platforms share

std::error_code detail::lastError() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

// Invalid UTF-8 becomes U+FFFD, a name no file has, so it is refused where it is opened.
std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), length);
    return result;
}

std::string narrow(const std::wstring& utf16) {
    if (utf16.empty()) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

namespace {
DWORD attributesOf(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str());
}
} // namespace

void FileLock::open() {
    constexpr std::chrono::milliseconds kRetryInterval(10);
    for (;;) {
        handle = CreateFileW(widen(filePath).c_str(), GENERIC_READ | GENERIC_WRITE,
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
        const HANDLE unused = CreateFileW(widen(filePath).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (unused != INVALID_HANDLE_VALUE) {
            CloseHandle(unused);
        }
    }
}

// A folder's read-only attribute means nothing on Windows, and its locks name no process.
bool FileLock::needless(const std::string&) {
    return false;
}

std::optional<long> FileLock::holder(const std::string&) {
    return std::nullopt;
}

std::string followLinks(const std::string& path) {
    // Refused here, before a lock file is made beside a folder.
    const DWORD attributes = attributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        refuse(path, kNotRegular);
    }
    return path;
}

void appendToFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileW(widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const std::error_code error = lastError();
        const DWORD attributes = attributesOf(path);
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
    const DWORD attributes = attributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        refuse(path, kReadOnlyFile);
    }
}

namespace detail {
void writeDurably(const std::string& path, const std::string& contents, const std::string& target) {
    for (const std::string& file : {target, path}) {
        const DWORD attributes = attributesOf(file);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            refuse(file, kNotRegular);
        }
    }
    DeleteFileW(widen(path).c_str()); // what a killed process left
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failWith("cannot create", path, lastError());
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
                    written == contents.size() && FlushFileBuffers(file);
    const std::error_code error = lastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(widen(path).c_str());
        failWith("cannot write", path, error);
    }
}

void renameOver(const std::string& from, const std::string& to) {
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::error_code error = lastError();
        DeleteFileW(widen(from).c_str());
        failWith("cannot replace", to, error);
    }
}

void syncFolder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already flushed the rename.
}
} // namespace detail

std::string environmentValue(const char* name) {
    // Read wide, so the value is whole whatever code page the host program runs in.
    const std::wstring wideName = widen(name);
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length); // 0: unset or empty
            return narrow(value);
        }
        value.resize(length); // the size it needs, its terminating null included
    }
}

std::string defaultStatePath() {
    std::string base = environmentValue("LOCALAPPDATA");
    if (base.empty() && !environmentValue("USERPROFILE").empty()) {
        base = environmentValue("USERPROFILE") + "\\AppData\\Local";
    }
    return base.empty() ? std::string() : base + "\\vexa-sim\\state";
}

const char kStateHomeVariables[] = "LOCALAPPDATA or USERPROFILE";

} // namespace vexa::sim
