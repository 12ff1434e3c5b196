#ifndef VEXA_AUXPORT_H
#define VEXA_AUXPORT_H
/*
 * The board maker's auxiliary-port library (libvexa_auxport.so, vexa_auxport.dll):
 * the functions this project calls, with C linkage. Programs are linked against it
 * and bind every function when they start. On Windows the library exports them by
 * ordinal only (the @ numbers below, vexa_auxport.def); elsewhere by these names.
 *
 * Results: 0 or a non-negative count on success, a negative code on failure.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* @4: initialises port `port` of board `boardIndex` and hands out its handle. */
int32_t VAuxInitPort(uint32_t boardIndex, uint32_t port, uint32_t mode, void** portHandle);
/* @5 */
int32_t VAuxOpenPort(void* portHandle);
/* @6 */
int32_t VAuxClosePort(void* portHandle);
/* @7: the handle is invalid afterwards. */
int32_t VAuxReleasePort(void* portHandle);
/* @9: sets the named parameter's element `index` from `size` bytes at `value`. */
int32_t VAuxSetParameter(void* portHandle, const char* name, uint32_t index, const void* value, uint32_t size);
/* @10, @11: `*count` holds the number of bytes to move on entry and the number moved
 * on return; `flags` frame the transfer on the bus. */
int32_t VAuxI2CSend(void* portHandle, const void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                    uint32_t reserved);
int32_t VAuxI2CReceive(void* portHandle, void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                       uint32_t reserved);
/* @16, @17: a transfer block keeps the bus to this port's transfers until it ends. */
int32_t VAuxBeginTransferBlock(void* portHandle, uint32_t timeout);
int32_t VAuxEndTransferBlock(void* portHandle);

#ifdef __cplusplus
}
#endif

#endif
