#pragma once
// What the per-platform halves of Platform.cpp share: error reporting, and the steps
// of replaceFile that differ by platform. Only the Platform*.cpp files include it.

#include <string>
#include <system_error>

namespace vexa::sim::detail {

inline constexpr char kNotRegular[] = "not a regular file";
inline constexpr char kTooLarge[] = "larger than 1 MiB";
inline constexpr char kReadOnlyFile[] = "the file is read-only";

// Throws std::runtime_error "<path>: <what>: <error's message>".
[[noreturn]] void failWith(const std::string& what, const std::string& path, const std::error_code& error);
// Throws std::runtime_error "<path>: <why>".
[[noreturn]] void refuse(const std::string& path, const std::string& why);
// The last system error of this thread (errno, or GetLastError on Windows).
std::error_code lastError();
void createParentFolders(const std::string& path);

// The steps of replaceFile: writes `contents` to the temporary file `path` and flushes
// it to disk, keeping the permissions of `target` (either refused when it exists and
// is not a regular file); renames it over the target; makes
// the rename itself survive a power loss.
void writeDurably(const std::string& path, const std::string& contents, const std::string& target);
void renameOver(const std::string& from, const std::string& to);
void syncFolder(const std::string& path);

} // namespace vexa::sim::detail
