// The settings report that "-get" prints: a header naming the board, then three
// lines per bank with each setting's present level and what its pin is set to.

#include "app/BoardTypeNames.h"
#include "gpio/BoardGPIOs.h"

#include <ostream>

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

void BoardGPIOs::print(std::ostream& out, std::ostream& warnings) const {
    const std::int32_t boardIndex = hal::VHalGetBoardIndex(boardHandle, 0);
    const std::int32_t boardType = hal::VHalGetBoardInfoInt(boardHandle, "board/type");
    out << "Board " << boardIndex << " is a " << boardTypeName(boardType) << std::endl;
    if (banks.empty()) {
        out << "No GPIO banks found" << std::endl;
        return;
    }
    for (std::size_t number = 0; number < banks.size(); ++number) {
        out << "Bank " << number << " ";
        banks[number]->print(out, warnings);
    }
}

void BoardGPIOs::GPIOBank::print(std::ostream& out, std::ostream& warnings) const {
    out << '"' << name << "\":" << std::endl;
    unsigned settingsSet = 0;
    for (const SettingLine& line : kSettingLines) {
        const DS45x0::IoPin& pin = expander->pin((this->*line.pin)());
        out << '\t' << line.label << ' ' << (pin.level ? line.highText : line.lowText) << "; ";
        switch (pin.getSetting()) {
        case DS45x0::IoPin::Released:
            out << "not set";
            break;
        case DS45x0::IoPin::PulledUp:
            out << "set to " << line.highText;
            ++settingsSet;
            break;
        case DS45x0::IoPin::DrivenLow:
            out << "set to " << line.lowText;
            ++settingsSet;
            break;
        case DS45x0::IoPin::Invalid:
            out << "set to invalid value";
            break;
        }
        out << std::endl;
    }
    if (noDipSwitch && settingsSet < std::size(kSettingLines)) {
        warnings << "WARNING: all parameters must be set on this bank" << std::endl;
    }
}

} // namespace vexa
