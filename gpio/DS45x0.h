#pragma once
// Drivers of the DS4510 (4 I/O pins) and DS4520 (9 I/O pins) I2C I/O expanders.
// Each pin is an open-drain output with a switchable pull-up. A driver keeps an image
// of the chip registers it uses: readRegisters fills it and decodes the pins, the
// banks change pins in memory, writeRegisters encodes them and writes the image.
// DS45x0 does all of that from a chip's register map; DS4510 and DS4520 only give theirs.

#include "i2c/I2CBusInterface.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vexa {

// A chip described as data: DS4510.cpp and DS4520.cpp each hold one RegisterMap.
namespace ds45x0 {

// A pin's share of one register: the bits `mask` of register `address`, which
// read as "on" when any of them is set and are written as `on` or as 0.
struct Field {
    std::uint8_t address;
    std::uint8_t mask;
    std::uint8_t on;
};
// Bit `number` of register `address`, the pin's alone.
constexpr Field bit(std::uint8_t address, unsigned number) {
    return {address, static_cast<std::uint8_t>(1u << number), static_cast<std::uint8_t>(1u << number)};
}
struct PinFields {
    Field pullUp;    // on: pull-up enabled
    Field control;   // on: output off; all zero drives the pin low
    Field status;    // on: the pin reads high
};
// Registers written from the image in one transfer.
struct Run {
    std::uint8_t first;
    std::uint8_t length;
};
struct RegisterMap {
    std::array<std::uint8_t, 6> imageRegisters; // read one transfer each, in this order
    std::uint8_t configurationRegister;         // read after them, cleared before a write (SEE too)
    std::vector<PinFields> pins;                // index = pin number
    std::vector<Run> writtenRuns;               // in this order
};

} // namespace ds45x0

class DS45x0 {
public:
    class IoPin {
    public:
        enum Setting : std::int32_t { Released = 0, PulledUp = 1, DrivenLow = 2, Invalid = 3 };

        // Derived from pullUp and driveLow; Invalid (both on) is only ever read back.
        Setting getSetting() const;
        // Refuses a setting that differs from one already given in this pass, so two
        // banks sharing a pin cannot contradict each other.
        void setSetting(Setting value);

        std::int32_t setInPass = 0; // 1 once set since the last readRegisters
        bool level = false;         // as last read from the I/O status register
        bool pullUp = false;
        bool driveLow = false;
    };

    virtual ~DS45x0();
    // Reads every image register and the configuration register, then decodes all pins
    // and starts a new pass; a failed read leaves the pins as they were.
    virtual void readRegisters();
    // Encodes every pin, refusing an Invalid one before any transfer, clears the
    // configuration register and writes the runs.
    virtual void writeRegisters();

    // Bounds-checked: std::out_of_range for a pin the chip does not have.
    IoPin& pin(std::uint32_t number);
    const IoPin& pin(std::uint32_t number) const;
    std::uint32_t pinCount() const { return static_cast<std::uint32_t>(pins.size()); }

    DS45x0(const DS45x0&) = delete;
    DS45x0& operator=(const DS45x0&) = delete;

protected:
    DS45x0(I2CBusInterface& bus, const ds45x0::RegisterMap& registerMap);

private:
    bool isOn(const ds45x0::Field& field) const;
    void assign(const ds45x0::Field& field, bool on);

    I2CBusInterface* bus; // not owned: the inventory owns the buses
    const ds45x0::RegisterMap* registerMap;
    std::vector<IoPin> pins; // sized once, so a pin handed out stays where it is
    std::array<std::uint8_t, 256> registerImage{}; // by register address
};

class DS4510 : public DS45x0 {
public:
    explicit DS4510(I2CBusInterface& bus);
};

class DS4520 : public DS45x0 {
public:
    explicit DS4520(I2CBusInterface& bus);
};

} // namespace vexa
