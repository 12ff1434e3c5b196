#pragma once
// The simulated machine of the end-to-end suite and of the command-line fuzzer, all but
// its "slots" statement, which each of them puts in front: one board of each GPIO
// layout and one whose extension is missing; EEPROM writes take no time.
//   0: 0x752 with extension   1: 0x7510         2: 0xB63        3: 0x754 (no layout)
//   4: 0xA61 with extension   5: 0x752 without extension
// String literals, so that a user joins them with statements of its own into one
// constant, complete before any table of test cases is built.
#define VEXA_TEST_MACHINE_BOARDS \
    "write-cycle-ms 0\n"         \
    "board 0 type 0x752\n"       \
    "expander 0 IOS0 DS4520\n"   \
    "expander 0 IOS1 DS4510\n"   \
    "board 1 type 0x7510\n"      \
    "expander 1 IOS0 DS4520\n"   \
    "expander 1 IOS1 DS4510\n"   \
    "board 2 type 0xB63\n"       \
    "expander 2 IOS0 DS4520\n"   \
    "board 3 type 0x754\n"       \
    "expander 3 IOS0 DS4520\n"   \
    "board 4 type 0xA61\n"       \
    "expander 4 IOS0 DS4520\n"   \
    "expander 4 IOS1 DS4510\n"   \
    "board 5 type 0x752\n"       \
    "expander 5 IOS0 DS4520\n"
