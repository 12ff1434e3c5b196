#pragma once
// An in-memory I2C device for tests and fuzzers: 256 registers, a log of every
// transfer, and a transfer that can be made to fail.

#include "i2c/I2CBusInterface.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::test {

class MemoryBus : public I2CBusInterface {
public:
    std::int32_t read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) override {
        transfer("R", registerAddress, length, "Failed to read register");
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        for (std::uint32_t i = 0; i < length; ++i) {
            bytes[i] = registers[(registerAddress + i) & 0xFF];
        }
        return static_cast<std::int32_t>(length);
    }

    std::int32_t write(std::uint8_t registerAddress, const void* buffer, std::uint32_t length) override {
        transfer("W", registerAddress, length, "Failed to write register");
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        std::string& entry = log.back();
        for (std::uint32_t i = 0; i < length; ++i) {
            registers[(registerAddress + i) & 0xFF] = bytes[i];
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
            entry += hex;
        }
        return static_cast<std::int32_t>(length);
    }

    std::array<std::uint8_t, 256> registers{};
    // "R F0/1" for a one-byte read of 0xF0; "W F4/4 01 01 00 01" for a write.
    std::vector<std::string> log;
    int failTransfer = 0; // 1-based number of the transfer that fails; 0 never

private:
    void transfer(const char* kind, std::uint8_t registerAddress, std::uint32_t length, const char* failure) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%s %02X/%u", kind, registerAddress, static_cast<unsigned>(length));
        log.emplace_back(entry);
        if (static_cast<int>(log.size()) == failTransfer) {
            throw std::runtime_error(failure);
        }
    }
};

} // namespace vexa::test
