#include "DS45x0.h"

namespace vexa {

namespace {

using ds45x0::bit;

// Each pin has an I/O control register of its own, pin 0 at 0xF7 and pin 3 at 0xF4;
// the pull-up enable and I/O status registers hold pin i in bit i.
// A control byte counts whole: only 0x00 is a pin driven low, any other byte is off,
// and off is written as 0x01. The chip looks at bit 0 alone; the two readings agree on
// both bytes the tool writes.
constexpr ds45x0::Field control(std::uint8_t address) {
    return {address, 0xFF, 0x01};
}

const ds45x0::RegisterMap kRegisterMap{
    {0xF0, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8}, // pull-up enable, I/O control 3..0, I/O status
    0xF9,                                 // configuration, SEE in bit 4
    {
        // pull-up    I/O control    I/O status
        {bit(0xF0, 0), control(0xF7), bit(0xF8, 0)},
        {bit(0xF0, 1), control(0xF6), bit(0xF8, 1)},
        {bit(0xF0, 2), control(0xF5), bit(0xF8, 2)},
        {bit(0xF0, 3), control(0xF4), bit(0xF8, 3)},
    },
    {{0xF0, 1}, {0xF4, 4}}, // pull-up enable, then the four control registers at once
};

} // namespace

DS4510::DS4510(I2CBusInterface& bus_) : DS45x0(bus_, kRegisterMap) {}

} // namespace vexa
