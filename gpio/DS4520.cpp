#include "DS45x0.h"

namespace vexa {

namespace {

using ds45x0::bit;

// Registers come in pairs: pins 0..7 in bits 0..7 of the first, pin 8 in bit 0 of the
// second. A control bit of 0 drives the pin low.
const ds45x0::RegisterMap kRegisterMap{
    {0xF0, 0xF1, 0xF2, 0xF3, 0xF8, 0xF9}, // pull-up enable 0/1, I/O control 0/1, I/O status 0/1
    0xF4,                                 // configuration, SEE in bit 0
    {
        // pull-up    I/O control   I/O status
        {bit(0xF0, 0), bit(0xF2, 0), bit(0xF8, 0)},
        {bit(0xF0, 1), bit(0xF2, 1), bit(0xF8, 1)},
        {bit(0xF0, 2), bit(0xF2, 2), bit(0xF8, 2)},
        {bit(0xF0, 3), bit(0xF2, 3), bit(0xF8, 3)},
        {bit(0xF0, 4), bit(0xF2, 4), bit(0xF8, 4)},
        {bit(0xF0, 5), bit(0xF2, 5), bit(0xF8, 5)},
        {bit(0xF0, 6), bit(0xF2, 6), bit(0xF8, 6)},
        {bit(0xF0, 7), bit(0xF2, 7), bit(0xF8, 7)},
        {bit(0xF1, 0), bit(0xF3, 0), bit(0xF9, 0)},
    },
    {{0xF0, 4}}, // pull-up enable 0/1 and I/O control 0/1 in one run
};

} // namespace

DS4520::DS4520(I2CBusInterface& bus_) : DS45x0(bus_, kRegisterMap) {}

} // namespace vexa
