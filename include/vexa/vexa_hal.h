#ifndef VEXA_HAL_H
#define VEXA_HAL_H
/*
 * The board maker's hardware library (libvexa_hal.so, vexa_hal.dll): the entry points
 * this project calls, exported by name with C linkage. Programs that load the library
 * at run time define VEXA_HAL_NO_PROTOTYPES and reach the entry points only through
 * the pointer types, so that nothing binds them when the program is linked.
 *
 * Results: a status, count or value; negative on failure.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A board opened by VHalInitDevice, until VHalFreeDevice. */
typedef void* VHalBoardHandle;

/* Configuration-interface codes: four characters, the first in the top byte. */
#define VEXA_HAL_IOS0 0x494F5330u /* "IOS0" */
#define VEXA_HAL_IOS1 0x494F5331u /* "IOS1" */

/* No entry point returns it: stands in for a status, count or value when the
 * installation directory, the library or the entry point is unavailable. */
#define VEXA_HAL_UNAVAILABLE (-2130)

/* The number of board slots. */
typedef int32_t (*VHalGetMaxDevicesFn)(void);
/* Opens the board in slot `boardIndex`; null when there is none or it fails. */
typedef VHalBoardHandle (*VHalInitDeviceFn)(int32_t boardIndex);
typedef int32_t (*VHalFreeDeviceFn)(VHalBoardHandle board);
/* An integer property of the board, "board/type" for instance. */
typedef int32_t (*VHalGetBoardInfoIntFn)(VHalBoardHandle board, const char* key);
/* The board's slot; `zero` is always 0. */
typedef int32_t (*VHalGetBoardIndexFn)(VHalBoardHandle board, int32_t zero);
/* `size` bytes from or to the registers from `registerAddress` on, of the device
 * behind the configuration interface `interfaceCode`. */
typedef int32_t (*VHalReadConfigFn)(VHalBoardHandle board, void* buffer, uint64_t size, uint32_t interfaceCode,
                                    uint32_t registerAddress);
typedef int32_t (*VHalWriteConfigFn)(VHalBoardHandle board, const void* buffer, uint64_t size,
                                     uint32_t interfaceCode, uint32_t registerAddress);

#ifndef VEXA_HAL_NO_PROTOTYPES
int32_t VHalGetMaxDevices(void);
VHalBoardHandle VHalInitDevice(int32_t boardIndex);
int32_t VHalFreeDevice(VHalBoardHandle board);
int32_t VHalGetBoardInfoInt(VHalBoardHandle board, const char* key);
int32_t VHalGetBoardIndex(VHalBoardHandle board, int32_t zero);
int32_t VHalReadConfig(VHalBoardHandle board, void* buffer, uint64_t size, uint32_t interfaceCode,
                       uint32_t registerAddress);
int32_t VHalWriteConfig(VHalBoardHandle board, const void* buffer, uint64_t size, uint32_t interfaceCode,
                        uint32_t registerAddress);
#endif

#ifdef __cplusplus
}
#endif

#endif
