/* An audit library of the system loader (LD_AUDIT) that swaps the hardware library
 * between the tool's checks and its loading: when the loader is asked for the library,
 * before it opens the file, VEXA_TEST_SWAP_FROM is renamed to VEXA_TEST_SWAP_TO. */

#define _GNU_SOURCE
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

unsigned int la_version(unsigned int version) {
    return version < LAV_CURRENT ? version : LAV_CURRENT;
}

char* la_objsearch(const char* name, uintptr_t* cookie, unsigned int flag) {
    (void)cookie;
    const char* from = getenv("VEXA_TEST_SWAP_FROM");
    const char* to = getenv("VEXA_TEST_SWAP_TO");
    if (flag == LA_SER_ORIG && from != NULL && to != NULL && strstr(name, "libvexa_hal.so") != NULL) {
        rename(from, to); /* once: the second time there is nothing left to rename */
    }
    /* The loader's own string, unchanged: the interface merely types it writable. */
    char* unchanged;
    memcpy(&unchanged, &name, sizeof unchanged);
    return unchanged;
}
