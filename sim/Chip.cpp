#include "Chip.h"

#include "Format.h"

#include <limits>

namespace vexa::sim {

namespace {

constexpr std::uint8_t bitOf(unsigned pin) {
    return static_cast<std::uint8_t>(1u << pin);
}

// One I/O control register per pin (bit 0 counts), pin 0 at 0xF7 and pin 3 at 0xF4.
// Bit 0 decides, as on the chip; the tool reads a non-zero byte as off: the same for 0x00 and 0x01, all it writes.
const ChipLayout kDS4510{
    ChipType::DS4510,
    "DS4510",
    {
        {{0xF0, bitOf(0)}, {0xF7, 0x01}, {0xF8, bitOf(0)}},
        {{0xF0, bitOf(1)}, {0xF6, 0x01}, {0xF8, bitOf(1)}},
        {{0xF0, bitOf(2)}, {0xF5, 0x01}, {0xF8, bitOf(2)}},
        {{0xF0, bitOf(3)}, {0xF4, 0x01}, {0xF8, bitOf(3)}},
    },
    {
        {0xF0, RegisterKind::NonVolatile, 0x00, "pull-up enable"},
        {0xF1, RegisterKind::NonVolatile, 0x00, "reset delay"},
        {0xF2, RegisterKind::NonVolatile, 0x00, "user byte"},
        {0xF3, RegisterKind::NonVolatile, 0x00, "user byte"},
        {0xF4, RegisterKind::NonVolatile, 0x01, "I/O control pin 3"},
        {0xF5, RegisterKind::NonVolatile, 0x01, "I/O control pin 2"},
        {0xF6, RegisterKind::NonVolatile, 0x01, "I/O control pin 1"},
        {0xF7, RegisterKind::NonVolatile, 0x01, "I/O control pin 0"},
        {0xF8, RegisterKind::Status, 0x00, "I/O status"},
        {0xF9, RegisterKind::Volatile, 0x00, "configuration"},
        {0xFA, RegisterKind::Volatile, 0x00, "user SRAM"},
        {0xFB, RegisterKind::Volatile, 0x00, "user SRAM"},
        {0xFC, RegisterKind::Volatile, 0x00, "user SRAM"},
        {0xFD, RegisterKind::Volatile, 0x00, "user SRAM"},
        {0xFE, RegisterKind::Volatile, 0x00, "user SRAM"},
        {0xFF, RegisterKind::Volatile, 0x00, "user SRAM"},
    },
    {0xF9, 0x10},
};

// One bit per pin: pins 0..7 in the first register of each pair, pin 8 in bit 0 of the second.
const ChipLayout kDS4520{
    ChipType::DS4520,
    "DS4520",
    {
        {{0xF0, bitOf(0)}, {0xF2, bitOf(0)}, {0xF8, bitOf(0)}},
        {{0xF0, bitOf(1)}, {0xF2, bitOf(1)}, {0xF8, bitOf(1)}},
        {{0xF0, bitOf(2)}, {0xF2, bitOf(2)}, {0xF8, bitOf(2)}},
        {{0xF0, bitOf(3)}, {0xF2, bitOf(3)}, {0xF8, bitOf(3)}},
        {{0xF0, bitOf(4)}, {0xF2, bitOf(4)}, {0xF8, bitOf(4)}},
        {{0xF0, bitOf(5)}, {0xF2, bitOf(5)}, {0xF8, bitOf(5)}},
        {{0xF0, bitOf(6)}, {0xF2, bitOf(6)}, {0xF8, bitOf(6)}},
        {{0xF0, bitOf(7)}, {0xF2, bitOf(7)}, {0xF8, bitOf(7)}},
        {{0xF1, bitOf(0)}, {0xF3, bitOf(0)}, {0xF9, bitOf(0)}},
    },
    {
        {0xF0, RegisterKind::NonVolatile, 0x00, "pull-up enable 0"},
        {0xF1, RegisterKind::NonVolatile, 0x00, "pull-up enable 1"},
        {0xF2, RegisterKind::NonVolatile, 0xFF, "I/O control 0"},
        {0xF3, RegisterKind::NonVolatile, 0x01, "I/O control 1"},
        {0xF4, RegisterKind::Volatile, 0x00, "configuration"},
        {0xF8, RegisterKind::Status, 0x00, "I/O status 0"},
        {0xF9, RegisterKind::Status, 0x00, "I/O status 1"},
    },
    {0xF4, 0x01},
};

const char* const kExternalLevelNames[] = {"floating", "low", "high"};
const char* const kPinSettingNames[] = {"released", "pulled-up", "driven-low", "invalid"};

} // namespace

const char* externalLevelName(ExternalLevel level) {
    return kExternalLevelNames[static_cast<int>(level)];
}

std::optional<ExternalLevel> parseExternalLevel(const std::string& word) {
    for (const ExternalLevel level : {ExternalLevel::Floating, ExternalLevel::Low, ExternalLevel::High}) {
        if (word == externalLevelName(level)) {
            return level;
        }
    }
    return std::nullopt;
}

const char* pinSettingName(PinSetting setting) {
    return kPinSettingNames[static_cast<int>(setting)];
}

const ChipLayout& chipLayout(ChipType type) {
    return type == ChipType::DS4510 ? kDS4510 : kDS4520;
}

RegisterKind registerKind(const ChipLayout& layout, std::uint8_t address) {
    if (address < kUserMemorySize) {
        return RegisterKind::UserMemory;
    }
    for (const NamedRegister& named : layout.registers) {
        if (named.address == address) {
            return named.kind;
        }
    }
    return RegisterKind::Reserved;
}

std::string eepromRefusal(const ChipLayout& layout, std::uint8_t address, std::uint8_t value) {
    const RegisterKind kind = registerKind(layout, address);
    if (kind == RegisterKind::Reserved || kind == RegisterKind::Status) {
        return "register " + hex(address, 2) + " of the " + layout.name + " has no EEPROM byte";
    }
    if (address == layout.see.address && (value & layout.see.mask) != 0) {
        return "the " + std::string(layout.name) + " comes up with SEE (bit " + hex(layout.see.mask, 2) + " of " +
               hex(address, 2) + ") clear";
    }
    return "";
}

RegisterImage factoryImage(ChipType type) {
    RegisterImage image{};
    for (const NamedRegister& named : chipLayout(type).registers) {
        image[named.address] = named.factoryValue;
    }
    return image;
}

ChipMemory powerUpMemory(const RegisterImage& powerUp) {
    ChipMemory memory;
    memory.sram = powerUp;
    memory.eeprom = powerUp;
    return memory;
}

Chip::Chip(ChipType type, const RegisterImage& powerUp, const ExternalLevels& external)
    : memory(powerUpMemory(powerUp)), chipLayoutData(&chipLayout(type)), externalLevels(external) {}

void Chip::powerCycle() {
    memory.sram = memory.eeprom;
    const RegisterBit& see = layout().see;
    memory.sram[see.address] = static_cast<std::uint8_t>(memory.sram[see.address] & ~see.mask);
}

std::uint8_t Chip::read(std::uint8_t address) const {
    switch (registerKind(layout(), address)) {
    case RegisterKind::Reserved:
        return 0;
    case RegisterKind::UserMemory:
        // Plain EEPROM: a programmer's write shows at once, and a worn-out page reads what it kept.
        return memory.eeprom[address];
    case RegisterKind::Status: {
        std::uint8_t value = 0;
        for (unsigned pin = 0; pin < layout().pins.size(); ++pin) {
            const RegisterBit& status = layout().pins[pin].status;
            if (status.address == address && pinLevel(pin)) {
                value = static_cast<std::uint8_t>(value | status.mask);
            }
        }
        return value;
    }
    default:
        return memory.sram[address];
    }
}

bool Chip::write(std::uint8_t start, const std::uint8_t* bytes, std::size_t count) {
    const unsigned page = start / kPageSize;
    const bool wornOut = endurance && memory.pageWrites[page] >= *endurance;
    bool eepromWritten = false;
    for (std::size_t i = 0; i < count; ++i) {
        // The address counter of a write runs round the page the write starts in.
        const auto address = static_cast<std::uint8_t>(page * kPageSize + (start + i) % kPageSize);
        const RegisterKind kind = registerKind(layout(), address);
        if (kind == RegisterKind::Reserved || kind == RegisterKind::Status) {
            continue;
        }
        const bool shadowed = kind == RegisterKind::NonVolatile && !bit(layout().see);
        // Reads of user memory take the EEPROM; the SRAM image keeps mirroring it, as dumps
        // and states have always shown it.
        if (!(wornOut && kind == RegisterKind::UserMemory)) {
            memory.sram[address] = bytes[i];
        }
        if (kind == RegisterKind::UserMemory || shadowed) {
            if (!wornOut) {
                memory.eeprom[address] = bytes[i];
            }
            eepromWritten = true;
        }
    }
    // A worn-out page must never show as new again.
    if (eepromWritten && memory.pageWrites[page] != std::numeric_limits<std::uint32_t>::max()) {
        ++memory.pageWrites[page];
    }
    return eepromWritten;
}

PinSetting Chip::pinSetting(unsigned pin) const {
    const PinRegisters& where = layout().pins.at(pin);
    const bool pullUp = bit(where.pullUp);
    const bool drivenLow = !bit(where.control);
    if (pullUp) {
        return drivenLow ? PinSetting::Invalid : PinSetting::PulledUp;
    }
    return drivenLow ? PinSetting::DrivenLow : PinSetting::Released;
}

bool Chip::pinLevel(unsigned pin) const {
    const PinRegisters& where = layout().pins.at(pin);
    if (!bit(where.control)) {
        return false;
    }
    switch (externalLevels.at(pin)) {
    case ExternalLevel::High:
        return true;
    case ExternalLevel::Low:
        return false;
    default:
        return bit(where.pullUp) || floatingHigh;
    }
}

} // namespace vexa::sim
