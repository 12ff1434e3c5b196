#include "BoardGPIOs.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <stdexcept>
#include <utility>
#include <vector>

namespace vexa {

using GPIOBank = BoardGPIOs::GPIOBank;
using Setting = DS45x0::IoPin::Setting;

namespace {

// What a bank setting value asks of its pin.
Setting pinSettingFor(GPIOBank::SettingValue value, const char* invalidValueMessage) {
    switch (value) {
    case GPIOBank::Off:
        return DS45x0::IoPin::DrivenLow;
    case GPIOBank::On:
        return DS45x0::IoPin::PulledUp;
    case GPIOBank::Clear:
        return DS45x0::IoPin::Released;
    }
    throw std::logic_error(invalidValueMessage);
}

enum SettingKind : unsigned { Inversion = 1, Pull = 2, Signal = 4 };
constexpr unsigned kAllKinds = Inversion | Pull | Signal;

struct SettingWord {
    const char* shortForm;
    const char* longForm;
    SettingKind kind;
    GPIOBank::SettingValue value;
};

constexpr SettingWord kSettingWords[] = {
    {"ni", "not-inverted", Inversion, GPIOBank::Off}, {"in", "inverted", Inversion, GPIOBank::On},
    {"pu", "pull-up", Pull, GPIOBank::Off},           {"pd", "pull-down", Pull, GPIOBank::On},
    {"se", "single-ended", Signal, GPIOBank::Off},    {"ds", "differential", Signal, GPIOBank::On},
};

const SettingWord* findSettingWord(const std::string& token) {
    for (const SettingWord& word : kSettingWords) {
        if (token == word.shortForm || token == word.longForm) {
            return &word;
        }
    }
    return nullptr;
}

} // namespace

GPIOBank::GPIOBank(std::int32_t number_, std::string name_, DS45x0& expander_, std::uint32_t inversionPin_,
                   std::uint32_t pullPin_, std::uint32_t signalPin_, bool noDipSwitch_)
    : number(number_), name(std::move(name_)), noDipSwitch(noDipSwitch_), expander(&expander_),
      inversionPin(inversionPin_), pullPin(pullPin_), signalPin(signalPin_) {
    // A pin the expander does not have refuses the bank here, not at first use.
    for (std::uint32_t pin : {inversionPin, pullPin, signalPin}) {
        expander->pin(pin);
    }
}

void GPIOBank::setPin(std::uint32_t pinNumber, SettingValue value, const char* invalidValueMessage) {
    DS45x0::IoPin& pin = expander->pin(pinNumber);
    pin.setSetting(pinSettingFor(value, invalidValueMessage));
}

void GPIOBank::invertOutputs(SettingValue value) {
    setPin(inversionPin, value, "Invalid setting for BoardGPIOs::GPIOBank::invertOutputs");
}

void GPIOBank::inputsPullUpDown(SettingValue value) {
    setPin(pullPin, value, "Invalid setting for BoardGPIOs::GPIOBank::inputsPullUpDown");
}

void GPIOBank::differentialInputs(SettingValue value) {
    setPin(signalPin, value, "Invalid setting for BoardGPIOs::GPIOBank::differentialInputs");
}

void GPIOBank::setAll(SettingValue inversion, SettingValue pull, SettingValue signal) {
    invertOutputs(inversion);
    inputsPullUpDown(pull);
    differentialInputs(signal);
}

void GPIOBank::applySettings(const std::string& text, bool force) {
    std::vector<std::string> tokens;
    boost::split(tokens, text, boost::is_any_of(","), boost::token_compress_off);

    if (tokens.size() == 1) {
        const std::string& word = tokens.front();
        if (word == "default") {
            if (number == 0) {
                setAll(Off, Off, On); // the front bank: not-inverted, pull-ups, differential
            } else if (noDipSwitch) {
                setAll(Off, Off, Off);
            } else {
                setAll(Clear, Clear, Clear); // handed to the dip-switch
            }
        } else if (word == "dip-switch" || word == "clear") {
            if (noDipSwitch && !force) {
                throw std::runtime_error("Bank has no dip-switch");
            }
            setAll(Clear, Clear, Clear);
        } else {
            throw std::runtime_error("Unknown value for settings");
        }
        return;
    }

    if (tokens.size() != 3) {
        throw std::runtime_error("Invalid number of settings");
    }
    unsigned kinds = 0;
    for (const std::string& token : tokens) {
        const SettingWord* word = findSettingWord(token);
        if (word == nullptr) {
            throw std::runtime_error("Unknown value for setting");
        }
        switch (word->kind) {
        case Inversion:
            invertOutputs(word->value);
            break;
        case Pull:
            inputsPullUpDown(word->value);
            break;
        case Signal:
            differentialInputs(word->value);
            break;
        }
        kinds |= word->kind;
    }
    if (kinds != kAllKinds) {
        throw std::runtime_error("Invalid combination of bank settings");
    }
}

} // namespace vexa
