#include "DS45x0.h"

#include <stdexcept>

namespace vexa {

namespace {

constexpr std::uint32_t kPinCount = 9;

// Image bytes and their registers: pull-up enable 0/1, I/O control 0/1, I/O status 0/1.
// Register 0 of each pair holds pins 0..7, register 1 holds pin 8 in bit 0.
constexpr std::array<std::uint8_t, 6> kImageRegisters = {0xF0, 0xF1, 0xF2, 0xF3, 0xF8, 0xF9};
constexpr std::size_t kPullUpByte = 0;
constexpr std::size_t kControlByte = 2;
constexpr std::size_t kStatusByte = 4;

constexpr std::uint8_t kFirstRegister = 0xF0; // pull-up enable 0/1 and I/O control 0/1 in one run
constexpr std::uint32_t kWrittenBytes = 4;
constexpr std::uint8_t kConfigurationRegister = 0xF4;

// Where a pin's bit sits within each register pair.
struct PinBit {
    std::size_t offset;
    std::uint8_t mask;
};
constexpr PinBit pinBit(std::uint32_t pin) {
    return {pin / 8, static_cast<std::uint8_t>(1u << (pin % 8))};
}

} // namespace

DS4520::DS4520(I2CBusInterface& bus_) : DS45x0(bus_, kPinCount) {}

void DS4520::readRegisters() {
    readImage(kImageRegisters, kConfigurationRegister);
    for (std::uint32_t i = 0; i < kPinCount; ++i) {
        decodePin(i);
    }
}

void DS4520::writeRegisters() {
    // Every pin is encoded before the first transfer, so a refusal leaves the chip untouched.
    for (std::uint32_t i = 0; i < kPinCount; ++i) {
        encodePin(i);
    }
    clearConfiguration(kConfigurationRegister);
    writeImageBytes(kFirstRegister, kPullUpByte, kWrittenBytes);
}

void DS4520::decodePin(std::uint32_t number) {
    IoPin& p = pin(number);
    const PinBit bit = pinBit(number);
    p.setInPass = 0;
    p.pullUp = (registerImage[kPullUpByte + bit.offset] & bit.mask) != 0;
    p.level = (registerImage[kStatusByte + bit.offset] & bit.mask) != 0;
    p.driveLow = (registerImage[kControlByte + bit.offset] & bit.mask) == 0; // 0 = output on
}

void DS4520::encodePin(std::uint32_t number) {
    const IoPin& p = pin(number);
    const PinBit bit = pinBit(number);
    const IoPin::Setting setting = p.getSetting();
    if (setting == IoPin::Invalid) {
        throw std::logic_error("Invalid setting for DS45x0::IoPin");
    }
    assignBits(registerImage[kPullUpByte + bit.offset], bit.mask, setting == IoPin::PulledUp);
    assignBits(registerImage[kControlByte + bit.offset], bit.mask, setting != IoPin::DrivenLow);
}

} // namespace vexa
