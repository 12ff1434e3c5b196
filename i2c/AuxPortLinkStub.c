/* The auxiliary-port library's functions, each doing nothing but fail: programs are
 * linked against this and run with the real library, and the benchmark, which reaches
 * no board through the port, runs with it. */
#include "vexa/vexa_auxport.h"

#include <stddef.h>

enum { kNotTheLibrary = -1 };

int32_t VAuxInitPort(uint32_t boardIndex, uint32_t port, uint32_t mode, void** portHandle) {
    (void)boardIndex, (void)port, (void)mode;
    *portHandle = NULL;
    return kNotTheLibrary;
}

int32_t VAuxOpenPort(void* portHandle) {
    (void)portHandle;
    return kNotTheLibrary;
}

int32_t VAuxClosePort(void* portHandle) {
    (void)portHandle;
    return kNotTheLibrary;
}

int32_t VAuxReleasePort(void* portHandle) {
    (void)portHandle;
    return kNotTheLibrary;
}

int32_t VAuxSetParameter(void* portHandle, const char* name, uint32_t index, const void* value, uint32_t size) {
    (void)portHandle, (void)name, (void)index, (void)value, (void)size;
    return kNotTheLibrary;
}

int32_t VAuxI2CSend(void* portHandle, const void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                    uint32_t reserved) {
    (void)portHandle, (void)bytes, (void)bufferSize, (void)count, (void)flags, (void)reserved;
    return kNotTheLibrary;
}

int32_t VAuxI2CReceive(void* portHandle, void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                       uint32_t reserved) {
    (void)portHandle, (void)bytes, (void)bufferSize, (void)count, (void)flags, (void)reserved;
    return kNotTheLibrary;
}

int32_t VAuxBeginTransferBlock(void* portHandle, uint32_t timeout) {
    (void)portHandle, (void)timeout;
    return kNotTheLibrary;
}

int32_t VAuxEndTransferBlock(void* portHandle) {
    (void)portHandle;
    return kNotTheLibrary;
}
