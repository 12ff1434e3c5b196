/*
 * The benchmark's hardware library: the seven entry points for one board of type
 * 0x752 with a DS4520 behind IOS0 and a DS4510 behind IOS1, registers in memory,
 * nothing read from or written to files. Written in C and linked with nothing but
 * the C library, so a program that loads it pays for the program's own runtime only.
 *
 * With VEXA_SIM_TRACE naming a file (read at the first call), every call appends one
 * line to it in the simulator's trace format, so bench/run can check that two
 * programs make the same calls.
 */
#include "vexa/vexa_hal.h"

#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

/* The simulator's failure values. */
enum { kBadHandle = -1, kBadArgument = -2, kNoAnswer = -5 };

enum { kBoardType = 0x752, kRegisterCount = 256 };

struct Expander {
    uint32_t interfaceCode;
    /* The pin-level registers: read-only, a write leaves them as they are. */
    uint8_t firstReadOnly, lastReadOnly;
    uint8_t registers[kRegisterCount];
};

/* Every register as the simulator holds it after "-set all:default". */
static struct Expander expanders[] = {
    {VEXA_HAL_IOS0, 0xF8, 0xF9, {[0xF0] = 0x04, [0xF2] = 0xFC, [0xF3] = 0x01, [0xF8] = 0x04}}, /* IOS0: DS4520 */
    {VEXA_HAL_IOS1, 0xF8, 0xF8, {[0xF4] = 0x01, [0xF5] = 0x01, [0xF6] = 0x01, [0xF7] = 0x01}}, /* IOS1: DS4510 */
};

static int board; /* the handle of board 0 is its address */
static int boardOpen;

/* -2 until the first call looks at VEXA_SIM_TRACE, then the trace file or -1. */
static int traceFile = -2;

static void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

static void trace(const char* format, ...) {
    if (traceFile == -2) {
        const char* path = getenv("VEXA_SIM_TRACE");
        traceFile = path != NULL && *path != '\0' ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (traceFile < 0) {
        return;
    }
    char line[1200];
    va_list arguments;
    va_start(arguments, format);
    const int length = vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length > 0 && (size_t)length < sizeof line - 1) {
        line[length] = '\n';
        /* One write a line, as the simulator does; a trace that cannot be written is not the caller's failure. */
        if (write(traceFile, line, (size_t)length + 1) < 0) {
            traceFile = -1;
        }
    }
}

static const char* handleName(const void* handle) {
    return handle == NULL ? "null" : handle == &board ? "board0" : "unknown";
}

static const char* interfaceName(uint32_t code, char name[11]) {
    for (int i = 0; i < 4; ++i) {
        const char c = (char)(code >> (24 - 8 * i));
        if (c < 0x20 || c > 0x7E) {
            snprintf(name, 11, "0x%08X", (unsigned)code);
            return name;
        }
        name[i] = c;
    }
    name[4] = '\0';
    return name;
}

/* " [04 00 FC]" for the trace; at most a register file's worth. */
static const char* byteList(const void* bytes, uint64_t count, char text[4 * kRegisterCount]) {
    size_t at = 0;
    text[at++] = ' ';
    text[at++] = '[';
    for (uint64_t i = 0; i < count; ++i) {
        at += (size_t)snprintf(text + at, 4, i == 0 ? "%02X" : " %02X", ((const uint8_t*)bytes)[i]);
    }
    text[at++] = ']';
    text[at] = '\0';
    return text;
}

static struct Expander* expanderOf(uint32_t interfaceCode) {
    for (size_t i = 0; i < sizeof expanders / sizeof expanders[0]; ++i) {
        if (expanders[i].interfaceCode == interfaceCode) {
            return &expanders[i];
        }
    }
    return NULL;
}

/* The expander a transfer goes to, or NULL with the failure in *result. */
static struct Expander* transferTarget(const void* handle, const void* buffer, uint64_t size,
                                       uint32_t interfaceCode, uint32_t registerAddress, int32_t* result) {
    struct Expander* expander = expanderOf(interfaceCode);
    *result = handle != &board || !boardOpen                                                 ? kBadHandle
              : buffer == NULL || size == 0 || registerAddress >= kRegisterCount ||
                      size > kRegisterCount - registerAddress ? kBadArgument
              : expander == NULL                                                         ? kNoAnswer
                                                                                         : 0;
    return *result == 0 ? expander : NULL;
}

EXPORT int32_t VHalGetMaxDevices(void) {
    trace("VHalGetMaxDevices() = 1");
    return 1;
}

EXPORT void* VHalInitDevice(int32_t boardIndex) {
    void* handle = NULL;
    if (boardIndex == 0 && !boardOpen) {
        boardOpen = 1;
        handle = &board;
    }
    trace("VHalInitDevice(%d) = %s", (int)boardIndex, handleName(handle));
    return handle;
}

EXPORT int32_t VHalFreeDevice(void* handle) {
    const int32_t result = handle == &board && boardOpen ? 0 : kBadHandle;
    if (result == 0) {
        boardOpen = 0;
    }
    trace("VHalFreeDevice(%s) = %d", handleName(handle), (int)result);
    return result;
}

EXPORT int32_t VHalGetBoardInfoInt(void* handle, const char* key) {
    const int32_t result = handle != &board || !boardOpen                     ? kBadHandle
                           : key == NULL || strcmp(key, "board/type") != 0 ? kBadArgument
                                                                           : kBoardType;
    trace("VHalGetBoardInfoInt(%s, %s%s%s) = %d", handleName(handle), key ? "\"" : "", key ? key : "null",
          key ? "\"" : "", (int)result);
    return result;
}

EXPORT int32_t VHalGetBoardIndex(void* handle, int32_t zero) {
    const int32_t result = handle == &board && boardOpen ? 0 : kBadHandle;
    trace("VHalGetBoardIndex(%s, %d) = %d", handleName(handle), (int)zero, (int)result);
    return result;
}

EXPORT int32_t VHalReadConfig(void* handle, void* buffer, uint64_t size, uint32_t interfaceCode,
                              uint32_t registerAddress) {
    int32_t result;
    const struct Expander* expander = transferTarget(handle, buffer, size, interfaceCode, registerAddress, &result);
    if (expander != NULL) {
        memcpy(buffer, expander->registers + registerAddress, size);
        result = (int32_t)size;
    }
    if (traceFile != -1) {
        char name[11], bytes[4 * kRegisterCount];
        trace("VHalReadConfig(%s, %s, 0x%02X, %llu) = %d%s", handleName(handle), interfaceName(interfaceCode, name),
              (unsigned)registerAddress, (unsigned long long)size, (int)result,
              result >= 0 ? byteList(buffer, (uint64_t)result, bytes) : "");
    }
    return result;
}

EXPORT int32_t VHalWriteConfig(void* handle, const void* buffer, uint64_t size, uint32_t interfaceCode,
                               uint32_t registerAddress) {
    int32_t result;
    struct Expander* expander = transferTarget(handle, buffer, size, interfaceCode, registerAddress, &result);
    if (expander != NULL) {
        for (uint64_t i = 0; i < size; ++i) {
            const uint64_t address = registerAddress + i;
            if (address < expander->firstReadOnly || address > expander->lastReadOnly) {
                expander->registers[address] = ((const uint8_t*)buffer)[i];
            }
        }
        result = (int32_t)size;
    }
    if (traceFile != -1) {
        char name[11], bytes[4 * kRegisterCount];
        trace("VHalWriteConfig(%s, %s, 0x%02X, %llu) = %d%s", handleName(handle), interfaceName(interfaceCode, name),
              (unsigned)registerAddress, (unsigned long long)size, (int)result,
              buffer != NULL && size <= kRegisterCount ? byteList(buffer, size, bytes) : "");
    }
    return result;
}
