#pragma once
// The I2C bus of one device behind an auxiliary port of the board. The port moves raw
// bytes, so this bus builds the I2C frames itself; each transfer runs inside one
// transfer block of the port. Owns the port: closed and released on destruction.

#include "i2c/I2CBusInterface.h"

#include <cstdint>
#include <memory>

namespace vexa {

class AuxPortI2CBusAccess : public I2CBusInterface {
public:
    // Holds the bus's port in a transfer block for as long as it lives.
    class TransactionBlockGuard {
    public:
        explicit TransactionBlockGuard(AuxPortI2CBusAccess& bus);
        virtual ~TransactionBlockGuard();
        TransactionBlockGuard(const TransactionBlockGuard&) = delete;
        TransactionBlockGuard& operator=(const TransactionBlockGuard&) = delete;

    private:
        AuxPortI2CBusAccess* bus;
    };

    // `deviceAddress` in its 8-bit form for a write (7-bit address shifted left by one).
    AuxPortI2CBusAccess(std::uint32_t boardIndex, std::uint32_t port, std::uint8_t deviceAddress);
    AuxPortI2CBusAccess(const AuxPortI2CBusAccess&) = delete;
    AuxPortI2CBusAccess& operator=(const AuxPortI2CBusAccess&) = delete;

    // Both return the library's result of the data phase.
    std::int32_t read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) override;
    std::int32_t write(std::uint8_t registerAddress, const void* buffer, std::uint32_t length) override;

private:
    struct PortRelease {
        void operator()(void* handle) const;
    };

    // One send on the bus; `count` bytes of the `size`-byte buffer go out.
    std::int32_t send(const void* bytes, std::uint32_t size, std::uint32_t count, std::uint32_t flags,
                      const char* failure);

    std::unique_ptr<void, PortRelease> portHandle; // null until the library hands one out
    std::uint8_t deviceAddress;
};

} // namespace vexa
