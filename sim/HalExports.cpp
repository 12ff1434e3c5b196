// The hardware library's exported entry points. Defining VEXA_SIM_OMIT_<name> leaves
// that entry point out, for the loader's tests of an incomplete library, and defining
// VEXA_SIM_UNRESOLVED makes VHalInitDevice call a function that no library defines.

#include "HalFront.h"

#include "FrontCall.h"
#include "vexa/vexa_hal.h"

#include <cstdint>

#ifdef _WIN32
#define VEXA_SIM_EXPORT extern "C" __declspec(dllexport)
#else
#define VEXA_SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using vexa::sim::HalFront;

template <typename Result, typename Call>
Result forward(Result failure, Call call) {
    return vexa::sim::callFront<HalFront>(failure, call);
}

constexpr std::int32_t kFailed = vexa::sim::status::kStateFailure;

} // namespace

#ifdef VEXA_SIM_UNRESOLVED
extern "C" void vexa_sim_unresolved(void);
#endif

VEXA_SIM_EXPORT std::int32_t VHalGetMaxDevices(void) {
    return forward(kFailed, [](HalFront& hal) { return hal.getMaxDevices(); });
}

#ifndef VEXA_SIM_OMIT_VHalInitDevice
VEXA_SIM_EXPORT void* VHalInitDevice(std::int32_t boardIndex) {
#ifdef VEXA_SIM_UNRESOLVED
    vexa_sim_unresolved();
#endif
    return forward<void*>(nullptr, [&](HalFront& hal) { return hal.initDevice(boardIndex); });
}
#endif

VEXA_SIM_EXPORT std::int32_t VHalFreeDevice(void* board) {
    return forward(kFailed, [&](HalFront& hal) { return hal.freeDevice(board); });
}

VEXA_SIM_EXPORT std::int32_t VHalGetBoardInfoInt(void* board, const char* key) {
    return forward(kFailed, [&](HalFront& hal) { return hal.getBoardInfoInt(board, key); });
}

VEXA_SIM_EXPORT std::int32_t VHalGetBoardIndex(void* board, std::int32_t zero) {
    return forward(kFailed, [&](HalFront& hal) { return hal.getBoardIndex(board, zero); });
}

VEXA_SIM_EXPORT std::int32_t VHalReadConfig(void* board, void* buffer, std::uint64_t size, std::uint32_t interfaceCode,
                                            std::uint32_t registerAddress) {
    return forward(kFailed,
                   [&](HalFront& hal) { return hal.readConfig(board, buffer, size, interfaceCode, registerAddress); });
}

#ifndef VEXA_SIM_OMIT_VHalWriteConfig
VEXA_SIM_EXPORT std::int32_t VHalWriteConfig(void* board, const void* buffer, std::uint64_t size,
                                             std::uint32_t interfaceCode, std::uint32_t registerAddress) {
    return forward(kFailed,
                   [&](HalFront& hal) { return hal.writeConfig(board, buffer, size, interfaceCode, registerAddress); });
}
#endif
