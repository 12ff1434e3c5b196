#pragma once
// One chip's SRAM, EEPROM and EEPROM write counts as plain text: what `vexa-sim dump`
// prints and `vexa-sim load` reads back exactly.

#include "Chip.h"

#include <istream>
#include <map>
#include <stdexcept>
#include <string>

namespace vexa::sim {

struct ChipDump {
    ChipType chip = ChipType::DS4520;
    ChipMemory memory;
    // The line of each "sram 0x.." and "eeprom 0x.." of a parsed text, for messages.
    std::map<std::string, unsigned> imageLines;
};

// A text that is no chip dump; the message names the input and line.
class DumpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string formatChipDump(const ChipDump& dump);
// Reads a whole dump, or throws DumpError. `name` is the input's name for messages.
ChipDump parseChipDump(std::istream& input, const std::string& name);
// Throws DumpError, with the line, for a byte the chip cannot hold (a reserved or status
// register, SEE set in EEPROM), which would stay in every later dump.
void checkChipBytes(const ChipDump& dump, const std::string& name);

} // namespace vexa::sim
