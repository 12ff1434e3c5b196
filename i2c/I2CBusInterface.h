#pragma once
// A register-addressed I2C bus to one device: read or write a run of bytes starting
// at an 8-bit register address. The bus, not its user, knows which device it reaches.

#include <cstdint>

namespace vexa {

class I2CBusInterface {
public:
    virtual ~I2CBusInterface() = default;
    // Each returns the transfer's non-negative result (callers ignore it) and throws
    // std::runtime_error on failure.
    virtual std::int32_t read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) = 0;
    virtual std::int32_t write(std::uint8_t registerAddress, const void* buffer, std::uint32_t length) = 0;

    // Presence probe: a one-byte read of register 0x00. Never throws.
    bool isAvailable();

protected:
    I2CBusInterface() = default;
    I2CBusInterface(const I2CBusInterface&) = default;
    I2CBusInterface& operator=(const I2CBusInterface&) = default;
};

} // namespace vexa
