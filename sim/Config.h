#pragma once
// The simulated machine: its board slots, boards and expanders, read from a small
// line-based file (sim/README.md) or taken from the built-in default.

#include "Chip.h"
#include "vexa/vexa_hal.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::sim {

constexpr std::uint32_t kIOS0 = VEXA_HAL_IOS0;
constexpr std::uint32_t kIOS1 = VEXA_HAL_IOS1;

struct BoardConfig {
    std::int32_t index = 0;
    std::int32_t type = 0;
    bool failOpen = false;
    bool failTypeQuery = false;
};

struct ExpanderConfig {
    std::int32_t board = 0;
    std::uint32_t interfaceCode = kIOS0;
    ChipType chip = ChipType::DS4520;
    std::uint8_t busAddress = 0xA0; // 8-bit form: the 7-bit address shifted left
    RegisterImage powerUp{};        // EEPROM when the machine is new; SRAM after a power-up
    RegisterImage sram{};           // SRAM when the machine is new: powerUp but for "sram" lines
    ExternalLevels external{};      // all floating unless configured
    bool absent = false;
    // "busy refuse": a transfer to the chip during its EEPROM write cycle gets no answer,
    // as from a library that does not poll; by default it waits for the chip.
    bool refuseWhileBusy = false;
    // "endurance <n>": after n writes of a page, the page keeps no more of what is written.
    std::optional<std::uint32_t> endurance;
    // "floating high": an undriven line without pull-up reads high; by default low.
    bool floatingHigh = false;
    // Transfer counts of this process, each from 1: the chip stops answering after
    // `answeredTransfers`; the `failingRead`-th read and `failingWrite`-th write fail.
    std::optional<std::uint64_t> answeredTransfers;
    std::optional<std::uint64_t> failingRead;
    std::optional<std::uint64_t> failingWrite;

    // What the chip holds when the machine is new.
    ChipMemory newMemory() const {
        ChipMemory memory;
        memory.sram = sram;
        memory.eeprom = powerUp;
        return memory;
    }
};

struct Config {
    std::string source; // the file's name, or kDefaultConfigName
    std::int32_t slots = 0;
    std::uint32_t writeCycleMs = 20; // the datasheets' longest
    std::optional<std::uint64_t> failingCall; // entry-point call number, from 1
    // What a successful transfer returns: the byte count, or 0 ("transfer-result zero"),
    // as a library whose result is a status would.
    bool transfersReturnZero = false;
    std::vector<BoardConfig> boards;
    std::vector<ExpanderConfig> expanders;

    const BoardConfig* board(std::int32_t index) const;
};

// A refused configuration; the text names the file and line: "x.conf:7: unknown chip ...".
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

extern const char kDefaultConfigName[];
extern const char kDefaultConfigText[];

// Reads a whole configuration, or throws ConfigError and gives nothing.
Config parseConfig(std::istream& input, const std::string& name);

// What the environment selects: VEXA_SIM_CONFIG, VEXA_SIM_STATE, VEXA_SIM_TRACE and
// VEXA_SIM_FAIL_CALL.
struct SimEnvironment {
    std::string configPath;  // empty: the built-in default
    std::string statePath;
    std::string tracePath;   // empty: no trace
    std::string failingCall; // as given; empty when unset

    static SimEnvironment fromProcess();
};

// The configuration the environment names, with VEXA_SIM_FAIL_CALL applied. Throws
// ConfigError.
Config loadConfig(const SimEnvironment& environment);

} // namespace vexa::sim
