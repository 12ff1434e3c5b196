#pragma once
// The words of a settings text, the one list of them: the parser reads it, and a test
// holds the usage text, the manual, the shell completion and the fuzz dictionary to it.

#include "gpio/GPIOBank.h"

namespace vexa::settings {

// The three settings a three-word text gives, one word of each kind.
enum Kind : unsigned { Inversion = 1, Pull = 2, Signal = 4 };
constexpr unsigned kAllKinds = Inversion | Pull | Signal;

struct Word {
    const char* shortForm;
    const char* longForm;
    Kind kind;
    BoardGPIOs::GPIOBank::SettingValue value;
};

inline constexpr Word kWords[] = {
    {"ni", "not-inverted", Inversion, BoardGPIOs::GPIOBank::Off},
    {"in", "inverted", Inversion, BoardGPIOs::GPIOBank::On},
    {"pu", "pull-up", Pull, BoardGPIOs::GPIOBank::Off},
    {"pd", "pull-down", Pull, BoardGPIOs::GPIOBank::On},
    {"se", "single-ended", Signal, BoardGPIOs::GPIOBank::Off},
    {"ds", "differential", Signal, BoardGPIOs::GPIOBank::On},
};

// The words that stand alone for all three settings.
inline constexpr char kDefault[] = "default";
// Synonyms: the bank is handed to its dip-switch.
inline constexpr const char* kDipSwitch[] = {"clear", "dip-switch"};

} // namespace vexa::settings
