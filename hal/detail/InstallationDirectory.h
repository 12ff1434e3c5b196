#pragma once
// The steps of the installation directory's discovery, for the loader and its tests.

#include <cstddef>
#include <cstdint>

namespace vexa::hal {

constexpr std::size_t kDirectoryBufferSize = 1024;

// The walk of a program file's path: the directories holding it are tried from the
// innermost outward, and the path is cut to the parent of the first one named bin,
// dll, Hardware Morvets, lib or lib64 (ASCII case ignored). Returns false, leaving
// the path in an unspecified state, when none matches.
bool cutToInstallationDirectory(char* path, char separator);

// Copies an environment value into a buffer of kDirectoryBufferSize bytes, keeping at
// most its first 1023 characters, and drops trailing separators, never the first
// character.
void copyEnvironmentDirectory(char* buffer, const char* value, char separator);

// This program's own file into the buffer (kDirectoryBufferSize bytes): the length
// written, or 0 when it could not be had or did not fit.
std::uint32_t ownModulePath(char* buffer);

} // namespace vexa::hal
