// The settings report that "-get" prints: a header naming the board, then three
// lines per bank with each setting's present level and what its pin is set to.

#include "app/BoardTypeNames.h"
#include "app/Output.h"
#include "gpio/BoardGPIOs.h"

#include <iterator>
#include <string>

namespace vexa {

namespace {

using Bank = BoardGPIOs::GPIOBank;

struct SettingLine {
    const char* label;
    const char* highText; // level high, or pin pulled up
    const char* lowText;  // level low, or pin driven low
    std::uint32_t (Bank::*pin)() const;
};

constexpr SettingLine kSettingLines[] = {
    {"Outputs are", "inverted", "not-inverted", &Bank::getInversionPin},
    {"Inputs have", "pull-downs", "pull-ups", &Bank::getPullPin},
    {"Inputs are", "differential", "single-ended", &Bank::getSignalPin},
};

} // namespace

void BoardGPIOs::print(std::FILE* out, std::FILE* warnings) const {
    const std::int32_t boardIndex = hal::VHalGetBoardIndex(boardHandle, 0);
    const std::int32_t boardType = hal::VHalGetBoardInfoInt(boardHandle, "board/type");
    printLine(out, {"Board ", std::to_string(boardIndex), " is a ", boardTypeName(boardType)});
    if (banks.empty()) {
        printLine(out, {"No GPIO banks found"});
        return;
    }
    for (std::size_t number = 0; number < banks.size(); ++number) {
        // The line's first words; the bank's print ends the line, and its flush and
        // check cover these words too.
        std::fputs(("Bank " + std::to_string(number) + " ").c_str(), out);
        banks[number]->print(out, warnings);
    }
}

void BoardGPIOs::GPIOBank::print(std::FILE* out, std::FILE* warnings) const {
    printLine(out, {"\"", name, "\":"});
    unsigned settingsSet = 0;
    for (const SettingLine& line : kSettingLines) {
        const DS45x0::IoPin& pin = expander->pin((this->*line.pin)());
        const char* state = "not set";
        const char* value = "";
        switch (pin.getSetting()) {
        case DS45x0::IoPin::Released:
            break;
        case DS45x0::IoPin::PulledUp:
            state = "set to ";
            value = line.highText;
            ++settingsSet;
            break;
        case DS45x0::IoPin::DrivenLow:
            state = "set to ";
            value = line.lowText;
            ++settingsSet;
            break;
        case DS45x0::IoPin::Invalid:
            state = "set to invalid value";
            break;
        }
        printLine(out, {"\t", line.label, " ", pin.level ? line.highText : line.lowText, "; ", state, value});
    }
    if (noDipSwitch && settingsSet < std::size(kSettingLines)) {
        printErrorLine(warnings, {"WARNING: all parameters must be set on this bank"});
    }
}

} // namespace vexa
