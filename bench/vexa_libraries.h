/*
 * The two board-maker libraries as the benchmark's programs and fake libraries see
 * them, in C: the hardware library's seven entry points (looked up with dlsym, hence
 * the pointer types) and the auxiliary-port library's nine functions (bound at start;
 * the numbers are their ordinals on Windows).
 */
#ifndef VEXA_BENCH_LIBRARIES_H
#define VEXA_BENCH_LIBRARIES_H

#include <stdint.h>

/* The hardware library. */
typedef int32_t (*VHalGetMaxDevicesFn)(void);
typedef void* (*VHalInitDeviceFn)(int32_t boardIndex);
typedef int32_t (*VHalFreeDeviceFn)(void* board);
typedef int32_t (*VHalGetBoardInfoIntFn)(void* board, const char* key);
typedef int32_t (*VHalGetBoardIndexFn)(void* board, int32_t zero);
typedef int32_t (*VHalReadConfigFn)(void* board, void* buffer, uint64_t size, uint32_t interfaceCode,
                                    uint32_t registerAddress);
typedef int32_t (*VHalWriteConfigFn)(void* board, const void* buffer, uint64_t size, uint32_t interfaceCode,
                                     uint32_t registerAddress);

int32_t VHalGetMaxDevices(void);
void* VHalInitDevice(int32_t boardIndex);
int32_t VHalFreeDevice(void* board);
int32_t VHalGetBoardInfoInt(void* board, const char* key);
int32_t VHalGetBoardIndex(void* board, int32_t zero);
int32_t VHalReadConfig(void* board, void* buffer, uint64_t size, uint32_t interfaceCode, uint32_t registerAddress);
int32_t VHalWriteConfig(void* board, const void* buffer, uint64_t size, uint32_t interfaceCode,
                        uint32_t registerAddress);

/* The auxiliary-port library. */
int32_t VAuxInitPort(uint32_t boardIndex, uint32_t port, uint32_t mode, void** portHandle); /* @4 */
int32_t VAuxOpenPort(void* portHandle);                                                      /* @5 */
int32_t VAuxClosePort(void* portHandle);                                                     /* @6 */
int32_t VAuxReleasePort(void* portHandle);                                                   /* @7 */
int32_t VAuxSetParameter(void* portHandle, const char* name, uint32_t index, const void* value,
                         uint32_t size); /* @9 */
int32_t VAuxI2CSend(void* portHandle, const void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                    uint32_t reserved); /* @10 */
int32_t VAuxI2CReceive(void* portHandle, void* bytes, uint32_t bufferSize, uint32_t* count, uint32_t flags,
                       uint32_t reserved);                           /* @11 */
int32_t VAuxBeginTransferBlock(void* portHandle, uint32_t timeout); /* @16 */
int32_t VAuxEndTransferBlock(void* portHandle);                     /* @17 */

#endif
