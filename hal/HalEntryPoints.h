#pragma once
// The hardware library's entry points as the tool calls them. Each wrapper has the
// entry point's own name and type (vexa/vexa_hal.h); the first call of any of them
// loads the library. A wrapper whose entry point is unavailable returns its failure
// value: kHalUnavailable, or null for VHalInitDevice.

#ifndef VEXA_HAL_NO_PROTOTYPES
#define VEXA_HAL_NO_PROTOTYPES // bound at run time only: nothing may call them directly
#endif
#include "vexa/vexa_hal.h"

#include <cstdint>

namespace vexa::hal {

using BoardHandle = VHalBoardHandle;

constexpr std::int32_t kHalUnavailable = VEXA_HAL_UNAVAILABLE;

// The one list of bound entry points.
#define VEXA_HAL_ENTRY_POINTS(X)                                                               \
    X(VHalGetMaxDevices)                                                                        \
    X(VHalInitDevice)                                                                           \
    X(VHalFreeDevice)                                                                           \
    X(VHalGetBoardInfoInt)                                                                      \
    X(VHalGetBoardIndex)                                                                        \
    X(VHalReadConfig)                                                                           \
    X(VHalWriteConfig)

#define VEXA_HAL_DECLARE_WRAPPER(name) extern const name##Fn name;
VEXA_HAL_ENTRY_POINTS(VEXA_HAL_DECLARE_WRAPPER)
#undef VEXA_HAL_DECLARE_WRAPPER

// Finds the installation directory, loads <dir>/bin/<library file> and resolves every
// entry point. 0 when loaded, kHalUnavailable otherwise. The wrappers call it while the
// table is unbound (no VHalInitDevice), so callers never need to.
std::int32_t loadHalLibrary();

} // namespace vexa::hal
