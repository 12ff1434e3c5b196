#pragma once
// The I2C bus of one device behind the hardware library's configuration interface,
// selected by a four-character code (IOS0, IOS1). Holds no library resource.

#include "i2c/I2CBusInterface.h"
#include "hal/HalEntryPoints.h"

namespace vexa {

constexpr std::uint32_t IOS0 = VEXA_HAL_IOS0;
constexpr std::uint32_t IOS1 = VEXA_HAL_IOS1;

class ConfigInterfaceI2CBusAccess : public I2CBusInterface {
public:
    ConfigInterfaceI2CBusAccess(hal::BoardHandle boardHandle, std::uint32_t interfaceCode);

    std::int32_t read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) override;
    std::int32_t write(std::uint8_t registerAddress, const void* buffer, std::uint32_t length) override;

private:
    hal::BoardHandle boardHandle; // not owned: the front end opens and closes the board
    std::uint32_t interfaceCode;
};

} // namespace vexa
