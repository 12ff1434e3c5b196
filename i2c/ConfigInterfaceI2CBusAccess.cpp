#include "ConfigInterfaceI2CBusAccess.h"

#include <stdexcept>

namespace vexa {

ConfigInterfaceI2CBusAccess::ConfigInterfaceI2CBusAccess(hal::BoardHandle board, std::uint32_t code)
    : boardHandle(board), interfaceCode(code) {}

std::int32_t ConfigInterfaceI2CBusAccess::read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) {
    const std::int32_t result = hal::VHalReadConfig(boardHandle, buffer, length, interfaceCode, registerAddress);
    if (result < 0) {
        throw std::runtime_error("Failed to read register");
    }
    return result;
}

std::int32_t ConfigInterfaceI2CBusAccess::write(std::uint8_t registerAddress, const void* buffer,
                                                std::uint32_t length) {
    const std::int32_t result = hal::VHalWriteConfig(boardHandle, buffer, length, interfaceCode, registerAddress);
    if (result < 0) {
        throw std::runtime_error("Failed to write register");
    }
    return result;
}

} // namespace vexa
