/*
 * The least a program can do to get what "vexa-gpio -board 0 -get" and
 * "vexa-gpio -board 0 -set all:default -get" get from the hardware library: the
 * same library calls in the same order, with nothing decoded or printed. It is
 * the yardstick of bench/run, which checks that its call trace equals the tool's.
 *
 *   minimal <library file> get|set-default
 *
 * The library is opened with lazy binding, the cheapest way there is, so the
 * yardstick does not carry costs of its own.
 *
 * The transfers are those of a board of type 0x752 with its extension attached:
 * a DS4520 behind IOS0 and a DS4510 behind IOS1, as bench/board.conf sets up.
 */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef int32_t (*GetMaxDevicesFn)(void);
typedef void* (*InitDeviceFn)(int32_t);
typedef int32_t (*FreeDeviceFn)(void*);
typedef int32_t (*GetBoardInfoIntFn)(void*, const char*);
typedef int32_t (*GetBoardIndexFn)(void*, int32_t);
typedef int32_t (*ReadConfigFn)(void*, void*, uint64_t, uint32_t, uint32_t);
typedef int32_t (*WriteConfigFn)(void*, const void*, uint64_t, uint32_t, uint32_t);

enum { IOS0 = 0x494F5330, IOS1 = 0x494F5331 };

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

static ReadConfigFn readConfig;
static WriteConfigFn writeConfig;

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
    GetMaxDevicesFn getMaxDevices;
    InitDeviceFn initDevice;
    FreeDeviceFn freeDevice;
    GetBoardInfoIntFn getBoardInfoInt;
    GetBoardIndexFn getBoardIndex;
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
    puts("Done.");
    return 0;
}
