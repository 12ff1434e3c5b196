#pragma once
// The loader's inner workings, for its tests.

#include <cstdint>

namespace vexa::hal::detail {

// The library file below the installation directory: "bin\vexa_hal.dll" on Windows,
// "bin/libvexa_hal.so" elsewhere. Writes at most `size` bytes including the NUL; false
// when the path does not fit.
bool formatHalLibraryPath(char* buffer, std::uint32_t size, const char* directory);

// How many times the loader has tried to load the library file in this process.
// The table is re-bound on every call while VHalInitDevice is missing; this makes
// that visible to the tests.
std::uint32_t loadAttempts();

} // namespace vexa::hal::detail
