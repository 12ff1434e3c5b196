#include "DS45x0.h"

#include <stdexcept>

namespace vexa {

namespace {

constexpr std::uint32_t kPinCount = 4;

// Image bytes and their registers: pull-up enable, the I/O control register of
// pins 3, 2, 1 and 0 (pin i at 0xF7 - i), I/O status.
constexpr std::array<std::uint8_t, 6> kImageRegisters = {0xF0, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8};
constexpr std::size_t kPullUpByte = 0;
constexpr std::size_t kStatusByte = 5;
constexpr std::size_t controlByte(std::uint32_t pin) { return 4 - pin; }

constexpr std::uint8_t kPullUpRegister = 0xF0;
constexpr std::uint8_t kFirstControlRegister = 0xF4;
constexpr std::uint8_t kConfigurationRegister = 0xF9;

constexpr std::uint8_t kOutputOn = 0x00; // drives the pin low
constexpr std::uint8_t kOutputOff = 0x01;

} // namespace

DS4510::DS4510(I2CBusInterface& bus_) : DS45x0(bus_, kPinCount) {}

void DS4510::readRegisters() {
    readImage(kImageRegisters, kConfigurationRegister);
    for (std::uint32_t i = 0; i < kPinCount; ++i) {
        decodePin(i);
    }
}

void DS4510::writeRegisters() {
    // Every pin is encoded before the first transfer, so a refusal leaves the chip untouched.
    for (std::uint32_t i = 0; i < kPinCount; ++i) {
        encodePin(i);
    }
    clearConfiguration(kConfigurationRegister);
    writeImageBytes(kPullUpRegister, kPullUpByte, 1);
    writeImageBytes(kFirstControlRegister, controlByte(kPinCount - 1), kPinCount);
}

void DS4510::decodePin(std::uint32_t number) {
    IoPin& p = pin(number);
    const auto mask = static_cast<std::uint8_t>(1u << number);
    p.setInPass = 0;
    p.pullUp = (registerImage[kPullUpByte] & mask) != 0;
    p.level = (registerImage[kStatusByte] & mask) != 0;
    p.driveLow = registerImage[controlByte(number)] == kOutputOn;
}

void DS4510::encodePin(std::uint32_t number) {
    const IoPin& p = pin(number);
    const auto mask = static_cast<std::uint8_t>(1u << number);
    const IoPin::Setting setting = p.getSetting();
    if (setting == IoPin::Invalid) {
        throw std::logic_error("Invalid setting for DS45x0::IoPin");
    }
    assignBits(registerImage[kPullUpByte], mask, setting == IoPin::PulledUp);
    registerImage[controlByte(number)] = setting == IoPin::DrivenLow ? kOutputOn : kOutputOff;
}

} // namespace vexa
