#pragma once
// The hardware library's entry points as the tool calls them. Each wrapper has the
// entry point's own name, parameters and result; the first call of any of them loads
// the library. A wrapper whose entry point is unavailable returns its failure value.

#include <cstdint>

namespace vexa::hal {

using BoardHandle = void*;

// In place of a status, count or value when the installation directory, the
// library or the entry point is unavailable.
constexpr std::int32_t kHalUnavailable = -2130;

// The one list of bound entry points:
//   X(result type, name, parameter list, argument list, failure value)
#define VEXA_HAL_ENTRY_POINTS(X)                                                               \
    X(std::int32_t, VHalGetMaxDevices, (), (), kHalUnavailable)                                 \
    X(BoardHandle, VHalInitDevice, (std::int32_t boardIndex), (boardIndex), nullptr)            \
    X(std::int32_t, VHalFreeDevice, (BoardHandle board), (board), kHalUnavailable)              \
    X(std::int32_t, VHalGetBoardInfoInt, (BoardHandle board, const char* key), (board, key),   \
      kHalUnavailable)                                                                          \
    X(std::int32_t, VHalGetBoardIndex, (BoardHandle board, std::int32_t zero), (board, zero),  \
      kHalUnavailable)                                                                          \
    X(std::int32_t, VHalReadConfig,                                                             \
      (BoardHandle board, void* buffer, std::uint64_t size, std::uint32_t interfaceCode,       \
       std::uint32_t registerAddress),                                                          \
      (board, buffer, size, interfaceCode, registerAddress), kHalUnavailable)                   \
    X(std::int32_t, VHalWriteConfig,                                                            \
      (BoardHandle board, const void* buffer, std::uint64_t size, std::uint32_t interfaceCode, \
       std::uint32_t registerAddress),                                                          \
      (board, buffer, size, interfaceCode, registerAddress), kHalUnavailable)

#define VEXA_HAL_DECLARE_WRAPPER(result, name, params, args, failure) result name params;
VEXA_HAL_ENTRY_POINTS(VEXA_HAL_DECLARE_WRAPPER)
#undef VEXA_HAL_DECLARE_WRAPPER

// Finds the installation directory, loads <dir>/bin/<library file> and resolves every
// entry point. 0 when loaded, kHalUnavailable otherwise. The wrappers call it while the
// table is unbound (no VHalInitDevice), so callers never need to.
std::int32_t loadHalLibrary();

// The library file below the installation directory: "bin\vexa_hal.dll" on Windows,
// "bin/libvexa_hal.so" elsewhere. Writes at most `size` bytes including the NUL; false
// when the path does not fit.
bool formatHalLibraryPath(char* buffer, std::uint32_t size, const char* directory);

namespace detail {
// How many times the loader has tried to load the library file in this process.
// The table is re-bound on every call while VHalInitDevice is missing; this makes
// that visible to the tests.
std::uint32_t loadAttempts();
} // namespace detail

} // namespace vexa::hal
