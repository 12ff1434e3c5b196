#pragma once
// Register-level model of the DS4510 and DS4520 I2C I/O expanders: what each register
// address is, how transfers and power cycles change the chip, and what each pin reads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa::sim {

enum class ChipType { DS4510, DS4520 };

enum class RegisterKind {
    Reserved,      // reads 0, writes are ignored
    UserMemory,    // EEPROM, every write goes through to it
    NonVolatile,   // pull-up enable, I/O control and the like: SRAM, copied to EEPROM while SEE is clear
    Volatile,      // configuration and user SRAM: back to the power-up value after a power cycle
    Status,        // read-only, computed from the pins
};

// What drives a pin's line when the chip does not (a dip-switch, say).
enum class ExternalLevel { Floating, Low, High };

enum class PinSetting { Released, PulledUp, DrivenLow, Invalid };

// "floating", "low", "high"; the words of the configuration file.
const char* externalLevelName(ExternalLevel level);
// The level a word of externalLevelName names; none for another word.
std::optional<ExternalLevel> parseExternalLevel(const std::string& word);
// "released", "pulled-up", "driven-low", "invalid".
const char* pinSettingName(PinSetting setting);

constexpr unsigned kRegisterCount = 256;
constexpr unsigned kUserMemorySize = 0x40;
constexpr unsigned kPageSize = 8; // EEPROM page: the unit of wear
constexpr unsigned kPageCount = kRegisterCount / kPageSize;
constexpr unsigned kMaxPins = 9;
// The longest transfer: one pass over the whole register space.
constexpr std::size_t kMaxTransfer = kRegisterCount;

struct RegisterBit {
    std::uint8_t address;
    std::uint8_t mask;
};

// Where one pin lives. Its I/O control bit clear means output on: driven low.
struct PinRegisters {
    RegisterBit pullUp;
    RegisterBit control;
    RegisterBit status;
};

struct NamedRegister {
    std::uint8_t address;
    RegisterKind kind;
    std::uint8_t factoryValue;
    const char* name;
};

struct ChipLayout {
    ChipType type;
    const char* name;
    std::vector<PinRegisters> pins;      // index = pin number
    std::vector<NamedRegister> registers; // every register above the user memory
    RegisterBit see;                     // SEE bit of the configuration register
};

const ChipLayout& chipLayout(ChipType type);
RegisterKind registerKind(const ChipLayout& layout, std::uint8_t address);

// Why the chip's EEPROM cannot hold the byte at the address: the register has no EEPROM
// byte, or the byte sets SEE, which every power-up clears. Empty when it can.
std::string eepromRefusal(const ChipLayout& layout, std::uint8_t address, std::uint8_t value);

using RegisterImage = std::array<std::uint8_t, kRegisterCount>;
using ExternalLevels = std::array<ExternalLevel, kMaxPins>;

// The chip's image before any configured change: zeros, and the registers' own values.
RegisterImage factoryImage(ChipType type);

// What a chip holds; the state file keeps it between runs.
struct ChipMemory {
    RegisterImage sram{};
    RegisterImage eeprom{};
    std::array<std::uint32_t, kPageCount> pageWrites{};

    bool operator==(const ChipMemory& other) const {
        return sram == other.sram && eeprom == other.eeprom && pageWrites == other.pageWrites;
    }
};

// A chip fresh from power-up with the given EEPROM contents.
ChipMemory powerUpMemory(const RegisterImage& powerUp);

class Chip {
public:
    Chip(ChipType type, const RegisterImage& powerUp, const ExternalLevels& external);

    const ChipLayout& layout() const { return *chipLayoutData; }

    // The byte a read of the register delivers.
    std::uint8_t read(std::uint8_t address) const;
    // Writes bytes from `start` on, the address advancing and wrapping from the last
    // byte of start's 8-byte page to its first. Counts one write of that page when
    // EEPROM was written, and is then true: the chip's write cycle starts.
    bool write(std::uint8_t start, const std::uint8_t* bytes, std::size_t count);
    // SRAM is lost and reloaded from EEPROM; SEE comes up clear.
    void powerCycle();

    PinSetting pinSetting(unsigned pin) const;
    bool pinLevel(unsigned pin) const;
    ExternalLevel external(unsigned pin) const { return externalLevels.at(pin); }
    // What drives the pin's line from outside from now on: `vexa-sim level`, a dip-switch.
    void setExternal(unsigned pin, ExternalLevel level) { externalLevels.at(pin) = level; }
    // After this many writes of a page, the page keeps no more of what is written: EEPROM
    // and user memory keep their last values. None: the page never wears out.
    std::optional<std::uint32_t> endurance;
    // An undriven line without pull-up reads high instead of low.
    bool floatingHigh = false;

    ChipMemory memory;

private:
    bool bit(const RegisterBit& where) const { return (memory.sram[where.address] & where.mask) != 0; }

    const ChipLayout* chipLayoutData;
    ExternalLevels externalLevels;
};

} // namespace vexa::sim
