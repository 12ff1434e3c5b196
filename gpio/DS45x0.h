#pragma once
// Drivers of the DS4510 (4 I/O pins) and DS4520 (9 I/O pins) I2C I/O expanders.
// Each pin is an open-drain output with a switchable pull-up. A driver keeps an image
// of the chip registers it uses: readRegisters fills it and decodes the pins, the
// banks change pins in memory, writeRegisters encodes them and writes the image.

#include "i2c/I2CBusInterface.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vexa {

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
    virtual void readRegisters() = 0;
    virtual void writeRegisters() = 0;

    // Bounds-checked: std::out_of_range for a pin the chip does not have.
    IoPin& pin(std::uint32_t number);
    const IoPin& pin(std::uint32_t number) const;
    std::uint32_t pinCount() const { return static_cast<std::uint32_t>(pins.size()); }

    DS45x0(const DS45x0&) = delete;
    DS45x0& operator=(const DS45x0&) = delete;

protected:
    static constexpr std::size_t kImageSize = 6;
    using RegisterList = std::array<std::uint8_t, kImageSize>;

    DS45x0(I2CBusInterface& bus, std::uint32_t pinCount);

    // One one-byte read per image register, in list order, then a read of the
    // configuration register whose value is not kept.
    void readImage(const RegisterList& imageRegisters, std::uint8_t configurationRegister);
    // Clears the configuration register (SEE included) so what follows reaches EEPROM.
    void clearConfiguration(std::uint8_t configurationRegister);
    void writeImageBytes(std::uint8_t firstRegister, std::size_t firstByte, std::uint32_t length);
    // Sets or clears the bits of `mask` in one image byte, leaving the others as read.
    static void assignBits(std::uint8_t& byte, std::uint8_t mask, bool set) {
        byte = static_cast<std::uint8_t>(set ? (byte | mask) : (byte & ~mask));
    }

    I2CBusInterface* bus; // not owned: the inventory owns the buses
    std::vector<std::unique_ptr<IoPin>> pins;
    std::array<std::uint8_t, kImageSize> registerImage{};
};

class DS4510 : public DS45x0 {
public:
    explicit DS4510(I2CBusInterface& bus);
    void readRegisters() override;
    void writeRegisters() override;

private:
    void decodePin(std::uint32_t number);
    void encodePin(std::uint32_t number);
};

class DS4520 : public DS45x0 {
public:
    explicit DS4520(I2CBusInterface& bus);
    void readRegisters() override;
    void writeRegisters() override;

private:
    void decodePin(std::uint32_t number);
    void encodePin(std::uint32_t number);
};

} // namespace vexa
