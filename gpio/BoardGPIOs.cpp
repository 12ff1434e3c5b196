#include "BoardGPIOs.h"

#include "gpio/BoardTypeNames.h"
#include "gpio/GPIOBank.h"
#include "hal/LineOutput.h"

#include "i2c/AuxPortI2CBusAccess.h"
#include "i2c/ConfigInterfaceI2CBusAccess.h"

#include <stdexcept>

namespace vexa {

namespace {

// The steps that layouts are made of.
enum LayoutStep : unsigned {
    FrontBank = 1u << 0,         // IOS0: DS4520 with "Front GPIO"
    OptionalExtension = 1u << 1, // IOS1, when present and not excluded: DS4510 with ports A and B
    FixedSecondBank = 1u << 2,   // IOS1: DS4510 with "GPIO", always required
    ProbeFirstBusAtEnd = 1u << 3,
};

struct BoardLayout {
    std::int32_t boardType;
    unsigned steps;
};

constexpr unsigned kExtended = FrontBank | OptionalExtension | ProbeFirstBusAtEnd;
constexpr unsigned kExtendedWithoutProbe = FrontBank | OptionalExtension;
constexpr unsigned kTwoBanks = FrontBank | FixedSecondBank | ProbeFirstBusAtEnd;

// Board types not listed here have no GPIO banks.
constexpr BoardLayout kBoardLayouts[] = {
    {0x752, kExtended},  {0x753, kExtended},  {0x755, kExtended},  {0x756, kExtended},
    {0x757, kExtended},  {0x758, kExtended},  {0x7511, kExtended}, {0x7541, kExtended},
    {0x7591, kExtended},
    {0xA61, kExtendedWithoutProbe}, {0xA62, kExtendedWithoutProbe}, {0xA64, kExtendedWithoutProbe},
    {0xA65, kExtendedWithoutProbe}, {0xA66, kExtendedWithoutProbe}, {0xA67, kExtendedWithoutProbe},
    {0xB63, FrontBank},
    {0x7510, kTwoBanks}, {0x7540, kTwoBanks},
};

struct BankDefinition {
    const char* name;
    std::uint32_t inversionPin;
    std::uint32_t pullPin;
    std::uint32_t signalPin;
    bool noDipSwitch;
};

constexpr BankDefinition kFrontGpio = {"Front GPIO", 0, 1, 2, true};
// Ports A and B share the inversion and pull pins of one DS4510.
constexpr BankDefinition kPortA = {"GPIO Port A", 0, 1, 3, false};
constexpr BankDefinition kPortB = {"GPIO Port B", 0, 1, 2, false};
constexpr BankDefinition kFixedGpio = {"GPIO", 0, 1, 3, true};

} // namespace

BoardGPIOs::BoardGPIOs(hal::BoardHandle board, bool excludeOptional) : boardHandle(board) {
    // Should construction fail, the members release what was created (see their declaration).
    layOut(excludeOptional);
}

BoardGPIOs::~BoardGPIOs() {
    for (auto& bank : banks) {
        bank.reset();
    }
    for (auto& expander : expanders) {
        expander.reset();
    }
    probeFirstBus();
    for (auto& bus : buses) {
        bus.reset();
    }
}

void BoardGPIOs::layOut(bool excludeOptional) {
    const std::int32_t boardType = hal::VHalGetBoardInfoInt(boardHandle, "board/type");
    for (const BoardLayout& layout : kBoardLayouts) {
        if (layout.boardType != boardType) {
            continue;
        }
        if (layout.steps & FrontBank) {
            createFrontBank();
        }
        if (layout.steps & OptionalExtension) {
            createOptionalExtension(excludeOptional);
        }
        if (layout.steps & FixedSecondBank) {
            createFixedSecondBank();
        }
        if (layout.steps & ProbeFirstBusAtEnd) {
            firstBus = buses.front().get();
        }
        return;
    }
}

void BoardGPIOs::createFrontBank() {
    DS45x0& expander = createExpander(createConfigInterfaceBus(IOS0), ExpanderType::DS4520);
    createBank(kFrontGpio.name, expander, kFrontGpio.inversionPin, kFrontGpio.pullPin, kFrontGpio.signalPin,
               kFrontGpio.noDipSwitch);
}

void BoardGPIOs::createOptionalExtension(bool excludeOptional) {
    if (excludeOptional) {
        return;
    }
    I2CBusInterface& bus = createConfigInterfaceBus(IOS1);
    if (!bus.isAvailable()) {
        return; // no extension attached: not an error
    }
    DS45x0& expander = createExpander(bus, ExpanderType::DS4510);
    for (const BankDefinition& port : {kPortA, kPortB}) {
        createBank(port.name, expander, port.inversionPin, port.pullPin, port.signalPin, port.noDipSwitch);
    }
}

void BoardGPIOs::createFixedSecondBank() {
    DS45x0& expander = createExpander(createConfigInterfaceBus(IOS1), ExpanderType::DS4510);
    createBank(kFixedGpio.name, expander, kFixedGpio.inversionPin, kFixedGpio.pullPin, kFixedGpio.signalPin,
               kFixedGpio.noDipSwitch);
}

I2CBusInterface& BoardGPIOs::createConfigInterfaceBus(std::uint32_t interfaceCode) {
    buses.push_back(std::make_unique<ConfigInterfaceI2CBusAccess>(boardHandle, interfaceCode));
    return *buses.back();
}

I2CBusInterface& BoardGPIOs::createAuxPortBus(std::uint32_t port, std::uint8_t deviceAddress) {
    const std::int32_t boardIndex = hal::VHalGetBoardIndex(boardHandle, 0);
    buses.push_back(
        std::make_unique<AuxPortI2CBusAccess>(static_cast<std::uint32_t>(boardIndex), port, deviceAddress));
    return *buses.back();
}

DS45x0& BoardGPIOs::createExpander(I2CBusInterface& bus, ExpanderType type) {
    if (!bus.isAvailable()) {
        throw std::runtime_error("Device not available");
    }
    std::unique_ptr<DS45x0> expander;
    switch (type) {
    case ExpanderType::DS4510:
        expander = std::make_unique<DS4510>(bus);
        break;
    case ExpanderType::DS4520:
        expander = std::make_unique<DS4520>(bus);
        break;
    default:
        throw std::logic_error("Invalid device type");
    }
    expanders.push_back(std::move(expander));
    DS45x0& created = *expanders.back();
    created.readRegisters(); // the pins hold the chip's state before any bank uses them
    return created;
}

BoardGPIOs::GPIOBank& BoardGPIOs::createBank(const std::string& name, DS45x0& expander,
                                             std::uint32_t inversionPin, std::uint32_t pullPin,
                                             std::uint32_t signalPin, bool noDipSwitch) {
    const auto number = static_cast<std::int32_t>(banks.size());
    banks.push_back(
        std::make_unique<GPIOBank>(number, name, expander, inversionPin, pullPin, signalPin, noDipSwitch));
    return *banks.back();
}

void BoardGPIOs::writeSettings() {
    for (auto& expander : expanders) {
        expander->writeRegisters();
    }
}

void BoardGPIOs::readSettings() {
    for (auto& expander : expanders) {
        expander->readRegisters();
    }
}

void BoardGPIOs::probeFirstBus() {
    if (firstBus != nullptr) {
        firstBus->isAvailable(); // the answer does not matter
    }
}

void BoardGPIOs::print(std::FILE* out, std::FILE* warnings) const {
    const std::int32_t boardIndex = hal::VHalGetBoardIndex(boardHandle, 0);
    const std::int32_t boardType = hal::VHalGetBoardInfoInt(boardHandle, "board/type");
    hal::printLine(out, {"Board ", std::to_string(boardIndex), " is a ", boardTypeName(boardType)});
    if (banks.empty()) {
        hal::printLine(out, {"No GPIO banks found"});
        return;
    }
    for (std::size_t number = 0; number < banks.size(); ++number) {
        banks[number]->print(out, warnings, "Bank " + std::to_string(number) + " ");
    }
}

} // namespace vexa
