#pragma once
// The GPIO inventory of one opened board: the I2C buses, the expander drivers on them
// and the banks on the expander pins, laid out by the board's type code. It owns all
// of them and destroys them dependants first: banks, expanders, buses.

#include "gpio/DS45x0.h"
#include "hal/HalEntryPoints.h"
#include "i2c/I2CBusInterface.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

class BoardGPIOs {
public:
    // One bank of GPIO lines with three settings: gpio/GPIOBank.h.
    class GPIOBank;

    enum class ExpanderType : int { DS4510 = 0, DS4520 = 1 };

    BoardGPIOs(hal::BoardHandle boardHandle, bool excludeOptional);
    ~BoardGPIOs();
    BoardGPIOs(const BoardGPIOs&) = delete;
    BoardGPIOs& operator=(const BoardGPIOs&) = delete;

    std::size_t bankCount() const { return banks.size(); }
    GPIOBank& bank(std::size_t number) { return *banks.at(number); }
    const GPIOBank& bank(std::size_t number) const { return *banks.at(number); }

    I2CBusInterface& createConfigInterfaceBus(std::uint32_t interfaceCode);
    // A bus over auxiliary port `port` of this board to the device at the 8-bit
    // address `deviceAddress`; no layout uses it.
    I2CBusInterface& createAuxPortBus(std::uint32_t port, std::uint8_t deviceAddress);
    DS45x0& createExpander(I2CBusInterface& bus, ExpanderType type);
    GPIOBank& createBank(const std::string& name, DS45x0& expander, std::uint32_t inversionPin,
                         std::uint32_t pullPin, std::uint32_t signalPin, bool noDipSwitch);

    // Writes, then re-reads, every expander in creation order; a failure stops there.
    void writeSettings();
    void readSettings();

    // The settings report: header, then one block per bank.
    void print(std::FILE* out, std::FILE* warnings) const;

private:
    void layOut(bool excludeOptional);
    void createFrontBank();
    void createOptionalExtension(bool excludeOptional);
    void createFixedSecondBank();
    void probeFirstBus();

    hal::BoardHandle boardHandle; // not owned: the front end opens and closes the board
    I2CBusInterface* firstBus = nullptr; // probed once more at destruction
    // Keep this order: members are destroyed in reverse, so when the constructor fails
    // the banks go before the expanders whose pins they use, and the expanders before
    // the buses they read through. The destructor does the same by hand, to probe the
    // first bus between expanders and buses.
    std::vector<std::unique_ptr<I2CBusInterface>> buses;
    std::vector<std::unique_ptr<DS45x0>> expanders;
    std::vector<std::unique_ptr<GPIOBank>> banks;
};

} // namespace vexa
