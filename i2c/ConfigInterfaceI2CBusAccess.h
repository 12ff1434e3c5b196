#pragma once
// The I2C bus of one device behind the hardware library's configuration interface,
// selected by a four-character code (IOS0, IOS1). Holds no library resource.

#include "i2c/I2CBusInterface.h"
#include "hal/HalEntryPoints.h"

namespace vexa {

// Four characters packed with the first in the most significant byte.
constexpr std::uint32_t fourCharacterCode(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

constexpr std::uint32_t IOS0 = fourCharacterCode('I', 'O', 'S', '0');
constexpr std::uint32_t IOS1 = fourCharacterCode('I', 'O', 'S', '1');
static_assert(IOS0 == 0x494F5330 && IOS1 == 0x494F5331);

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
