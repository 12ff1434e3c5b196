// The auxiliary-port library's exported functions: by name on Linux, by ordinal only
// on Windows (vexa_auxport.def).

#include "AuxFront.h"

#include "sim/FrontCall.h"
#include "vexa/vexa_auxport.h"

#ifdef _WIN32
#define VEXA_AUX_EXPORT extern "C"
#else
#define VEXA_AUX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using vexa::sim::AuxFront;

template <typename Call>
std::int32_t forward(Call call) {
    return vexa::sim::callFront<AuxFront>(vexa::sim::status::kStateFailure, call);
}

} // namespace

VEXA_AUX_EXPORT std::int32_t VAuxInitPort(std::uint32_t boardIndex, std::uint32_t port, std::uint32_t mode,
                                          void** portHandle) {
    return forward([&](AuxFront& aux) { return aux.initPort(boardIndex, port, mode, portHandle); });
}

VEXA_AUX_EXPORT std::int32_t VAuxOpenPort(void* portHandle) {
    return forward([&](AuxFront& aux) { return aux.openPort(portHandle); });
}

VEXA_AUX_EXPORT std::int32_t VAuxClosePort(void* portHandle) {
    return forward([&](AuxFront& aux) { return aux.closePort(portHandle); });
}

VEXA_AUX_EXPORT std::int32_t VAuxReleasePort(void* portHandle) {
    return forward([&](AuxFront& aux) { return aux.releasePort(portHandle); });
}

VEXA_AUX_EXPORT std::int32_t VAuxSetParameter(void* portHandle, const char* name, std::uint32_t index,
                                              const void* value, std::uint32_t size) {
    return forward([&](AuxFront& aux) { return aux.setParameter(portHandle, name, index, value, size); });
}

VEXA_AUX_EXPORT std::int32_t VAuxI2CSend(void* portHandle, const void* bytes, std::uint32_t bufferSize,
                                         std::uint32_t* count, std::uint32_t flags, std::uint32_t reserved) {
    return forward([&](AuxFront& aux) { return aux.send(portHandle, bytes, bufferSize, count, flags, reserved); });
}

VEXA_AUX_EXPORT std::int32_t VAuxI2CReceive(void* portHandle, void* bytes, std::uint32_t bufferSize,
                                            std::uint32_t* count, std::uint32_t flags, std::uint32_t reserved) {
    return forward([&](AuxFront& aux) { return aux.receive(portHandle, bytes, bufferSize, count, flags, reserved); });
}

VEXA_AUX_EXPORT std::int32_t VAuxBeginTransferBlock(void* portHandle, std::uint32_t timeout) {
    return forward([&](AuxFront& aux) { return aux.beginTransferBlock(portHandle, timeout); });
}

VEXA_AUX_EXPORT std::int32_t VAuxEndTransferBlock(void* portHandle) {
    return forward([&](AuxFront& aux) { return aux.endTransferBlock(portHandle); });
}
