#include "DS45x0.h"

#include <stdexcept>

namespace vexa {

DS45x0::IoPin::Setting DS45x0::IoPin::getSetting() const {
    if (pullUp) {
        return driveLow ? Invalid : PulledUp;
    }
    return driveLow ? DrivenLow : Released;
}

void DS45x0::IoPin::setSetting(Setting value) {
    if (setInPass == 1 && value != getSetting()) {
        throw std::runtime_error("Conflicting settings");
    }
    switch (value) {
    case Released:
        pullUp = false;
        driveLow = false;
        break;
    case PulledUp:
        pullUp = true;
        driveLow = false;
        break;
    case DrivenLow:
        pullUp = false;
        driveLow = true;
        break;
    default:
        throw std::logic_error("Invalid setting for DS45X0::IOPin");
    }
    setInPass = 1;
}

DS45x0::DS45x0(I2CBusInterface& bus_, std::uint32_t pinCount) : bus(&bus_) {
    pins.reserve(pinCount);
    for (std::uint32_t i = 0; i < pinCount; ++i) {
        pins.push_back(std::make_unique<IoPin>());
    }
}

DS45x0::~DS45x0() = default;

DS45x0::IoPin& DS45x0::pin(std::uint32_t number) {
    return *pins.at(number);
}

const DS45x0::IoPin& DS45x0::pin(std::uint32_t number) const {
    return *pins.at(number);
}

void DS45x0::readImage(const RegisterList& imageRegisters, std::uint8_t configurationRegister) {
    for (std::size_t i = 0; i < kImageSize; ++i) {
        bus->read(imageRegisters[i], &registerImage[i], 1);
    }
    std::uint8_t configuration = 0;
    bus->read(configurationRegister, &configuration, 1);
}

void DS45x0::clearConfiguration(std::uint8_t configurationRegister) {
    const std::uint8_t cleared = 0x00;
    bus->write(configurationRegister, &cleared, 1);
}

void DS45x0::writeImageBytes(std::uint8_t firstRegister, std::size_t firstByte, std::uint32_t length) {
    bus->write(firstRegister, &registerImage.at(firstByte), length);
}

} // namespace vexa
