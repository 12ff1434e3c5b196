#include "GPIOBank.h"
#include "SettingWords.h"

#include "hal/LineOutput.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <algorithm>
#include <iterator>
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

const settings::Word* findSettingWord(const std::string& token) {
    for (const settings::Word& word : settings::kWords) {
        if (token == word.shortForm || token == word.longForm) {
            return &word;
        }
    }
    return nullptr;
}

void setAll(GPIOBank& bank, GPIOBank::SettingValue inversion, GPIOBank::SettingValue pull,
            GPIOBank::SettingValue signal) {
    bank.invertOutputs(inversion);
    bank.inputsPullUpDown(pull);
    bank.differentialInputs(signal);
}

// One word for all three settings: "default", "dip-switch" or "clear".
void applyBankWord(GPIOBank& bank, const std::string& word, bool force) {
    constexpr auto Off = GPIOBank::Off, On = GPIOBank::On, Clear = GPIOBank::Clear;
    if (word == settings::kDefault) {
        if (bank.getNumber() == 0) {
            setAll(bank, Off, Off, On); // the front bank: not-inverted, pull-ups, differential
        } else if (bank.hasNoDipSwitch()) {
            setAll(bank, Off, Off, Off);
        } else {
            setAll(bank, Clear, Clear, Clear); // handed to the dip-switch
        }
    } else if (std::find(std::begin(settings::kDipSwitch), std::end(settings::kDipSwitch), word) !=
               std::end(settings::kDipSwitch)) {
        if (bank.hasNoDipSwitch() && !force) {
            throw std::runtime_error("Bank has no dip-switch");
        }
        setAll(bank, Clear, Clear, Clear);
    } else {
        throw std::runtime_error("Unknown value for settings");
    }
}

// Three words, one of each kind in any order; each is applied as it is met.
void applySettingWords(GPIOBank& bank, const std::vector<std::string>& words) {
    unsigned kinds = 0;
    for (const std::string& token : words) {
        const settings::Word* word = findSettingWord(token);
        if (word == nullptr) {
            throw std::runtime_error("Unknown value for setting");
        }
        switch (word->kind) {
        case settings::Inversion:
            bank.invertOutputs(word->value);
            break;
        case settings::Pull:
            bank.inputsPullUpDown(word->value);
            break;
        case settings::Signal:
            bank.differentialInputs(word->value);
            break;
        }
        kinds |= word->kind;
    }
    if (kinds != settings::kAllKinds) {
        throw std::runtime_error("Invalid combination of bank settings");
    }
}

// The report's three lines of a bank, in the order printed.
struct SettingLine {
    const char* label;
    const char* highText; // level high, or pin pulled up
    const char* lowText;  // level low, or pin driven low
    std::uint32_t (GPIOBank::*pin)() const;
};

constexpr SettingLine kSettingLines[] = {
    {"Outputs are", "inverted", "not-inverted", &GPIOBank::getInversionPin},
    {"Inputs have", "pull-downs", "pull-ups", &GPIOBank::getPullPin},
    {"Inputs are", "differential", "single-ended", &GPIOBank::getSignalPin},
};

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

void GPIOBank::applySettings(const std::string& text, bool force) {
    std::vector<std::string> words;
    boost::split(words, text, boost::is_any_of(","), boost::token_compress_off);
    if (words.size() == 1) {
        applyBankWord(*this, words.front(), force);
        return;
    }
    if (words.size() != 3) {
        throw std::runtime_error("Invalid number of settings");
    }
    applySettingWords(*this, words);
}

void GPIOBank::print(std::FILE* out, std::FILE* warnings, std::string_view heading) const {
    hal::printLine(out, {heading, "\"", name, "\":"});
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
        hal::printLine(out, {"\t", line.label, " ", pin.level ? line.highText : line.lowText, "; ", state, value});
    }
    if (noDipSwitch && settingsSet < std::size(kSettingLines)) {
        hal::printErrorLine(warnings, {"WARNING: all parameters must be set on this bank"});
    }
}

} // namespace vexa
