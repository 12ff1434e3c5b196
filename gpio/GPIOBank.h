#pragma once
// A bank of a board's GPIO inventory (BoardGPIOs): its three settings, its settings
// text and its block of the report.

#include "gpio/BoardGPIOs.h"
#include "gpio/DS45x0.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vexa {

// One bank of GPIO lines with three settings, each held by one expander pin.
// Owns none of its pins; two banks may share a pin.
class BoardGPIOs::GPIOBank {
public:
    enum SettingValue : int { Off = 0, On = 1, Clear = 2 };

    GPIOBank(std::int32_t number, std::string name, DS45x0& expander, std::uint32_t inversionPin,
             std::uint32_t pullPin, std::uint32_t signalPin, bool noDipSwitch);

    void invertOutputs(SettingValue value);
    void inputsPullUpDown(SettingValue value);
    void differentialInputs(SettingValue value);

    // Parses one settings text ("default", "clear", "dip-switch" or three words)
    // and applies it to the pins in memory; throws on every refusal.
    void applySettings(const std::string& text, bool force);

    // The bank's block of the report, its first line after `heading` ("Bank <n> ").
    // The warning for a bank that needs all settings goes to `warnings`.
    void print(std::FILE* out, std::FILE* warnings, std::string_view heading) const;

    std::int32_t getNumber() const { return number; }
    const std::string& getName() const { return name; }
    bool hasNoDipSwitch() const { return noDipSwitch; }
    const DS45x0& getExpander() const { return *expander; }
    std::uint32_t getInversionPin() const { return inversionPin; }
    std::uint32_t getPullPin() const { return pullPin; }
    std::uint32_t getSignalPin() const { return signalPin; }

private:
    void setPin(std::uint32_t pinNumber, SettingValue value, const char* invalidValueMessage);

    std::int32_t number;
    std::string name;
    bool noDipSwitch;
    DS45x0* expander; // not owned
    std::uint32_t inversionPin;
    std::uint32_t pullPin;
    std::uint32_t signalPin;
};

} // namespace vexa
