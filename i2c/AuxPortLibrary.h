#pragma once
// The auxiliary-port library's functions that the aux-port bus calls. The tool is
// linked against the library, so it does not start without it. On Windows the
// functions are imported by ordinal only (vexa_auxport_imports.def gives the
// numbers); elsewhere they are bound by these names when the program starts.
//
// Results: 0 or a non-negative count on success, a negative code on failure.

#include <cstdint>

extern "C" {
// @4: initialises port `port` of board `boardIndex` and hands out its handle.
std::int32_t VAuxInitPort(std::uint32_t boardIndex, std::uint32_t port, std::uint32_t mode, void** portHandle);
// @5
std::int32_t VAuxOpenPort(void* portHandle);
// @6
std::int32_t VAuxClosePort(void* portHandle);
// @7: the handle is invalid afterwards.
std::int32_t VAuxReleasePort(void* portHandle);
// @9: sets the named parameter's element `index` from `size` bytes at `value`.
std::int32_t VAuxSetParameter(void* portHandle, const char* name, std::uint32_t index, const void* value,
                              std::uint32_t size);
// @10, @11: `*count` holds the number of bytes to move on entry and the number moved
// on return; `flags` frame the transfer on the bus.
std::int32_t VAuxI2CSend(void* portHandle, const void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                         std::uint32_t flags, std::uint32_t reserved);
std::int32_t VAuxI2CReceive(void* portHandle, void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                            std::uint32_t flags, std::uint32_t reserved);
// @16, @17: a transfer block keeps the bus to this port's transfers until it ends.
std::int32_t VAuxBeginTransferBlock(void* portHandle, std::uint32_t timeout);
std::int32_t VAuxEndTransferBlock(void* portHandle);
}
