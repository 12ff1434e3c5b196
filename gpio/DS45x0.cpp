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

DS45x0::DS45x0(I2CBusInterface& bus_, const ds45x0::RegisterMap& registerMap_)
    : bus(&bus_), registerMap(&registerMap_), pins(registerMap_.pins.size()) {}

DS45x0::~DS45x0() = default;

DS45x0::IoPin& DS45x0::pin(std::uint32_t number) {
    return pins.at(number);
}

const DS45x0::IoPin& DS45x0::pin(std::uint32_t number) const {
    return pins.at(number);
}

void DS45x0::readRegisters() {
    for (const std::uint8_t address : registerMap->imageRegisters) {
        bus->read(address, &registerImage[address], 1);
    }
    // Every read of the chip includes its configuration register; the value is not
    // kept, since writeRegisters clears the register whatever it holds.
    std::uint8_t configuration = 0;
    bus->read(registerMap->configurationRegister, &configuration, 1);
    for (std::uint32_t i = 0; i < pinCount(); ++i) {
        const ds45x0::PinFields& fields = registerMap->pins[i];
        IoPin& p = pin(i);
        p.setInPass = 0;
        p.pullUp = isOn(fields.pullUp);
        p.level = isOn(fields.status);
        p.driveLow = !isOn(fields.control);
    }
}

void DS45x0::writeRegisters() {
    // Every pin is encoded before the first transfer, so a refusal leaves the chip untouched.
    for (std::uint32_t i = 0; i < pinCount(); ++i) {
        const IoPin::Setting setting = pin(i).getSetting();
        if (setting == IoPin::Invalid) {
            throw std::logic_error("Invalid setting for DS45x0::IoPin");
        }
        assign(registerMap->pins[i].pullUp, setting == IoPin::PulledUp);
        assign(registerMap->pins[i].control, setting != IoPin::DrivenLow);
    }
    const std::uint8_t cleared = 0x00; // SEE included
    bus->write(registerMap->configurationRegister, &cleared, 1);
    for (const ds45x0::Run& run : registerMap->writtenRuns) {
        bus->write(run.first, &registerImage[run.first], run.length);
    }
}

bool DS45x0::isOn(const ds45x0::Field& field) const {
    return (registerImage[field.address] & field.mask) != 0;
}

void DS45x0::assign(const ds45x0::Field& field, bool on) {
    std::uint8_t& byte = registerImage[field.address];
    byte = static_cast<std::uint8_t>((byte & ~field.mask) | (on ? field.on : 0));
}

} // namespace vexa
