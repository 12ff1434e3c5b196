#pragma once
// How this platform spells paths and shared-library files.

namespace vexa::hal {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr const char* kSharedLibraryPrefix = "";
constexpr const char* kSharedLibrarySuffix = ".dll";
#else
constexpr char kPathSeparator = '/';
constexpr const char* kSharedLibraryPrefix = "lib";
constexpr const char* kSharedLibrarySuffix = ".so";
#endif

} // namespace vexa::hal
