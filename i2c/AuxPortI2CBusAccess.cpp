#include "AuxPortI2CBusAccess.h"

#include "vexa/vexa_auxport.h"

#include <stdexcept>

namespace vexa {

namespace {

constexpr std::uint32_t kPortMode = 2;
constexpr char kFrequencyParameter[] = "Frequency:Int";
constexpr std::int32_t kBusFrequency = 100000; // I2C standard mode, 100 kHz
constexpr std::uint32_t kTransferBlockTimeout = 1000;

// Flag words of the steps of a transfer.
constexpr std::uint32_t kAddressPhase = 0x2001; // device and register address; device address to read
constexpr std::uint32_t kDataPhase = 0x1001;    // the bytes written or read
constexpr std::uint32_t kWriteWait = 0x8001;    // until the device has finished a write

constexpr std::uint8_t kReadBit = 0x01;

} // namespace

// A program with the aux-port bus binds the library's nine functions when it starts,
// and does not start without all of them, whether or not it makes a bus this run.
// The table keeps every one an import even where the linker drops the code that no
// command calls: the tool's link names it as a root of section garbage collection
// (--undefined), which, unlike the "retain" attribute, every GCC supports.
extern "C" [[gnu::used]] const void* const vexa_auxport_bound_at_start[] = {
    reinterpret_cast<const void*>(&VAuxInitPort),       reinterpret_cast<const void*>(&VAuxOpenPort),
    reinterpret_cast<const void*>(&VAuxClosePort),      reinterpret_cast<const void*>(&VAuxReleasePort),
    reinterpret_cast<const void*>(&VAuxSetParameter),   reinterpret_cast<const void*>(&VAuxI2CSend),
    reinterpret_cast<const void*>(&VAuxI2CReceive),     reinterpret_cast<const void*>(&VAuxBeginTransferBlock),
    reinterpret_cast<const void*>(&VAuxEndTransferBlock),
};

void AuxPortI2CBusAccess::PortRelease::operator()(void* handle) const {
    VAuxClosePort(handle);
    VAuxReleasePort(handle);
}

AuxPortI2CBusAccess::AuxPortI2CBusAccess(std::uint32_t boardIndex, std::uint32_t port, std::uint8_t address)
    : deviceAddress(address) {
    void* handle = nullptr;
    if (VAuxInitPort(boardIndex, port, kPortMode, &handle) != 0) {
        throw std::runtime_error("Failed to init port");
    }
    // From here on the port is closed and released on every way out, so a failure
    // below leaves no port open.
    portHandle.reset(handle);
    if (VAuxOpenPort(portHandle.get()) != 0) {
        throw std::runtime_error("Failed to open port");
    }
    if (VAuxSetParameter(portHandle.get(), kFrequencyParameter, 0, &kBusFrequency, sizeof kBusFrequency) != 0) {
        throw std::runtime_error("Failed to set frequency for port");
    }
}

AuxPortI2CBusAccess::TransactionBlockGuard::TransactionBlockGuard(AuxPortI2CBusAccess& owner) : bus(&owner) {
    if (VAuxBeginTransferBlock(bus->portHandle.get(), kTransferBlockTimeout) != 0) {
        throw std::runtime_error("Failed to begin transfer block");
    }
}

AuxPortI2CBusAccess::TransactionBlockGuard::~TransactionBlockGuard() {
    VAuxEndTransferBlock(bus->portHandle.get());
}

std::int32_t AuxPortI2CBusAccess::send(const void* bytes, std::uint32_t size, std::uint32_t count,
                                       std::uint32_t flags, const char* failure) {
    std::uint32_t transferCount = count;
    const std::int32_t result = VAuxI2CSend(portHandle.get(), bytes, size, &transferCount, flags, 0);
    if (result < 0) {
        throw std::runtime_error(failure);
    }
    return result;
}

std::int32_t AuxPortI2CBusAccess::read(std::uint8_t registerAddress, void* buffer, std::uint32_t length) {
    TransactionBlockGuard block(*this);
    std::uint8_t message[2] = {deviceAddress, registerAddress};
    send(message, sizeof message, 2, kAddressPhase, "Failed to select register");
    message[0] |= kReadBit;
    send(message, sizeof message, 1, kAddressPhase, "Failed to initiate read");
    std::uint32_t transferCount = length;
    const std::int32_t result = VAuxI2CReceive(portHandle.get(), buffer, length, &transferCount, kDataPhase, 0);
    if (result < 0) {
        throw std::runtime_error("Failed to read register");
    }
    return result;
}

std::int32_t AuxPortI2CBusAccess::write(std::uint8_t registerAddress, const void* buffer, std::uint32_t length) {
    TransactionBlockGuard block(*this);
    const std::uint8_t message[2] = {deviceAddress, registerAddress};
    send(message, sizeof message, 2, kAddressPhase, "Failed to select register");
    const std::int32_t result = send(buffer, length, length, kDataPhase, "Failed to write register");
    send(message, sizeof message, 2, kWriteWait, "Failed to wait for write");
    return result;
}

} // namespace vexa
