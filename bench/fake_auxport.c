/*
 * The benchmark's auxiliary-port library: the nine functions, each doing nothing but
 * fail (the benchmark's board is reached through the hardware library). It is there
 * because a program linked against the library does not start without it. C, and
 * linked with nothing but the C library.
 */
#include "vexa/vexa_auxport.h"

#include <stddef.h>

#define EXPORT __attribute__((visibility("default")))

enum { kNoPort = -1 };

EXPORT int32_t VAuxInitPort(uint32_t boardIndex, uint32_t port, uint32_t mode, void** portHandle) {
    (void)boardIndex, (void)port, (void)mode;
    if (portHandle != NULL) {
        *portHandle = NULL;
    }
    return kNoPort;
}

EXPORT int32_t VAuxOpenPort(void* portHandle) {
    (void)portHandle;
    return kNoPort;
}

EXPORT int32_t VAuxClosePort(void* portHandle) {
    (void)portHandle;
    return kNoPort;
}

EXPORT int32_t VAuxReleasePort(void* portHandle) {
    (void)portHandle;
    return kNoPort;
}

EXPORT int32_t VAuxSetParameter(void* portHandle, const char* name, uint32_t index, const void* value,
                                uint32_t size) {
    (void)portHandle, (void)name, (void)index, (void)value, (void)size;
    return kNoPort;
}

EXPORT int32_t VAuxI2CSend(void* portHandle, const void* bytes, uint32_t bufferSize, uint32_t* count,
                           uint32_t flags, uint32_t reserved) {
    (void)portHandle, (void)bytes, (void)bufferSize, (void)flags, (void)reserved;
    if (count != NULL) {
        *count = 0;
    }
    return kNoPort;
}

EXPORT int32_t VAuxI2CReceive(void* portHandle, void* bytes, uint32_t bufferSize, uint32_t* count,
                              uint32_t flags, uint32_t reserved) {
    (void)portHandle, (void)bytes, (void)bufferSize, (void)flags, (void)reserved;
    if (count != NULL) {
        *count = 0;
    }
    return kNoPort;
}

EXPORT int32_t VAuxBeginTransferBlock(void* portHandle, uint32_t timeout) {
    (void)portHandle, (void)timeout;
    return kNoPort;
}

EXPORT int32_t VAuxEndTransferBlock(void* portHandle) {
    (void)portHandle;
    return kNoPort;
}
