/*
 * The least a program can do to get and show what "vexa-gpio -board 0 -get" and
 * "vexa-gpio -board 0 -set all:default -get" get and show: the same hardware-library
 * calls in the same order, and the tool's report as fixed text, one write a line, with
 * nothing parsed, decoded or formatted. It is the yardstick of bench/run, which checks
 * that its call trace and its standard output equal the tool's.
 *
 *   minimal <library file> get|set-default
 *
 * Like the tool it is linked against the auxiliary-port library with every function
 * bound at start; it opens the hardware library with lazy binding, the cheapest way
 * there is, so the yardstick does not carry costs of its own.
 *
 * The transfers are those of a board of type 0x752 with its extension attached:
 * a DS4520 behind IOS0 and a DS4510 behind IOS1, as bench/board.conf sets up.
 */
/* Like the tool: the hardware library is reached through pointers only. */
#define VEXA_HAL_NO_PROTOTYPES
#include "vexa/vexa_auxport.h"
#include "vexa/vexa_hal.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

enum { IOS0 = VEXA_HAL_IOS0, IOS1 = VEXA_HAL_IOS1 };

struct Transfer {
    int write;
    uint32_t code;
    uint32_t address;
    uint64_t size;
    uint8_t bytes[4];
};

#define READ(code, address) {0, code, address, 1, {0}}

/* Opening the board: the probe and register reads of each expander. */
static const struct Transfer kOpen[] = {
    READ(IOS0, 0x00), READ(IOS0, 0xF0), READ(IOS0, 0xF1), READ(IOS0, 0xF2), READ(IOS0, 0xF3),
    READ(IOS0, 0xF8), READ(IOS0, 0xF9), READ(IOS0, 0xF4), READ(IOS1, 0x00), READ(IOS1, 0x00),
    READ(IOS1, 0xF0), READ(IOS1, 0xF4), READ(IOS1, 0xF5), READ(IOS1, 0xF6), READ(IOS1, 0xF7),
    READ(IOS1, 0xF8), READ(IOS1, 0xF9),
};

/* "all:default": the front bank set, the extension ports handed to the dip-switch. */
static const struct Transfer kWriteDefaults[] = {
    {1, IOS0, 0xF4, 1, {0x00}},
    {1, IOS0, 0xF0, 4, {0x04, 0x00, 0xFC, 0x01}},
    {1, IOS1, 0xF9, 1, {0x00}},
    {1, IOS1, 0xF0, 1, {0x00}},
    {1, IOS1, 0xF4, 4, {0x01, 0x01, 0x01, 0x01}},
};

/* The read-back after writing: the register reads without the probes. */
static const struct Transfer kReadBack[] = {
    READ(IOS0, 0xF0), READ(IOS0, 0xF1), READ(IOS0, 0xF2), READ(IOS0, 0xF3), READ(IOS0, 0xF8),
    READ(IOS0, 0xF9), READ(IOS0, 0xF4), READ(IOS1, 0xF0), READ(IOS1, 0xF4), READ(IOS1, 0xF5),
    READ(IOS1, 0xF6), READ(IOS1, 0xF7), READ(IOS1, 0xF8), READ(IOS1, 0xF9),
};

static const struct Transfer kCloseProbe[] = {READ(IOS0, 0x00)};

/* The tool's report of the benchmark's board, for both command lines. */
static const char* const kReport[] = {
    "Board 0 is a Vexa Lynx 752",
    "Bank 0 \"Front GPIO\":",
    "\tOutputs are not-inverted; set to not-inverted",
    "\tInputs have pull-ups; set to pull-ups",
    "\tInputs are differential; set to differential",
    "Bank 1 \"GPIO Port A\":",
    "\tOutputs are not-inverted; not set",
    "\tInputs have pull-ups; not set",
    "\tInputs are single-ended; not set",
    "Bank 2 \"GPIO Port B\":",
    "\tOutputs are not-inverted; not set",
    "\tInputs have pull-ups; not set",
    "\tInputs are single-ended; not set",
    "Done.",
};

/* The auxiliary-port functions, referred to so that the loader binds them at start, as it does for the tool. */
typedef void (*AnyFunction)(void);
__attribute__((used)) const AnyFunction vexaAuxPortFunctions[] = {
    (AnyFunction)VAuxInitPort,   (AnyFunction)VAuxOpenPort,          (AnyFunction)VAuxClosePort,
    (AnyFunction)VAuxReleasePort, (AnyFunction)VAuxSetParameter,     (AnyFunction)VAuxI2CSend,
    (AnyFunction)VAuxI2CReceive, (AnyFunction)VAuxBeginTransferBlock, (AnyFunction)VAuxEndTransferBlock,
};

static VHalReadConfigFn readConfig;
static VHalWriteConfigFn writeConfig;

#define COUNT(array) (sizeof(array) / sizeof((array)[0]))

static int transfer(void* board, const struct Transfer* transfers, size_t count) {
    uint8_t buffer[4];
    for (size_t i = 0; i < count; ++i) {
        const struct Transfer* t = &transfers[i];
        const int32_t result = t->write ? writeConfig(board, t->bytes, t->size, t->code, t->address)
                                        : readConfig(board, buffer, t->size, t->code, t->address);
        if (result < 0) {
            return -1;
        }
    }
    return 0;
}

int main(int argc, char* argv[]) {
    if (argc != 3 || (strcmp(argv[2], "get") != 0 && strcmp(argv[2], "set-default") != 0)) {
        fprintf(stderr, "usage: minimal <library file> get|set-default\n");
        return 2;
    }
    const int setDefaults = strcmp(argv[2], "set-default") == 0;

    void* library = dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "minimal: %s\n", dlerror());
        return 1;
    }
    /* Converting a data pointer to a function pointer: what POSIX asks dlsym's users to do. */
    VHalGetMaxDevicesFn getMaxDevices;
    VHalInitDeviceFn initDevice;
    VHalFreeDeviceFn freeDevice;
    VHalGetBoardInfoIntFn getBoardInfoInt;
    VHalGetBoardIndexFn getBoardIndex;
    *(void**)&getMaxDevices = dlsym(library, "VHalGetMaxDevices");
    *(void**)&initDevice = dlsym(library, "VHalInitDevice");
    *(void**)&freeDevice = dlsym(library, "VHalFreeDevice");
    *(void**)&getBoardInfoInt = dlsym(library, "VHalGetBoardInfoInt");
    *(void**)&getBoardIndex = dlsym(library, "VHalGetBoardIndex");
    *(void**)&readConfig = dlsym(library, "VHalReadConfig");
    *(void**)&writeConfig = dlsym(library, "VHalWriteConfig");
    if (!getMaxDevices || !initDevice || !freeDevice || !getBoardInfoInt || !getBoardIndex || !readConfig ||
        !writeConfig) {
        fprintf(stderr, "minimal: an entry point is missing\n");
        return 1;
    }

    if (getMaxDevices() < 1) {
        fprintf(stderr, "minimal: no board\n");
        return 1;
    }
    void* board = initDevice(0);
    if (board == NULL) {
        fprintf(stderr, "minimal: cannot open board 0\n");
        return 1;
    }
    int failed = getBoardInfoInt(board, "board/type") < 0 || transfer(board, kOpen, COUNT(kOpen)) != 0;
    if (!failed && setDefaults) {
        failed = transfer(board, kWriteDefaults, COUNT(kWriteDefaults)) != 0 ||
                 transfer(board, kReadBack, COUNT(kReadBack)) != 0;
    }
    if (!failed) {
        getBoardIndex(board, 0);
        getBoardInfoInt(board, "board/type");
        failed = transfer(board, kCloseProbe, COUNT(kCloseProbe)) != 0;
    }
    freeDevice(board);
    if (failed) {
        fprintf(stderr, "minimal: a library call failed\n");
        return 1;
    }
    /* One line, one flush: the tool's output must reach the reader line by line. */
    for (size_t i = 0; i < COUNT(kReport); ++i) {
        if (fputs(kReport[i], stdout) == EOF || putchar('\n') == EOF || fflush(stdout) != 0) {
            return 1;
        }
    }
    return 0;
}
