#pragma once
// The simulated machine behind the stand-in libraries and vexa-sim: boards that one
// process at a time may hold, and the expanders on them, reached by interface code or
// by I2C bus address. Whatever a write changes is saved to the state file at once.

#include "Chip.h"
#include "Config.h"
#include "StateFile.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vexa::sim {

class FileLock;

// Results of the simulator and the stand-in libraries: a count or 0 on success, one of
// these on failure.
namespace status {
constexpr std::int32_t kOk = 0;
constexpr std::int32_t kBadHandle = -1;     // unknown handle, or a board not open
constexpr std::int32_t kBadArgument = -2;   // register beyond 0xFF, bad size, null buffer, unknown key
constexpr std::int32_t kNoBoard = -3;       // no such board, or the configuration was refused
constexpr std::int32_t kInjected = -4;      // a failure the configuration asks for
constexpr std::int32_t kNoAnswer = -5;      // no device answers
constexpr std::int32_t kStateFailure = -6;  // the state file cannot be read or written
constexpr std::int32_t kBusy = -7;          // the board is already open, or still held after a time limit
} // namespace status

class Simulator {
public:
    // Messages about the state file go to `errors`, one line each.
    Simulator(Config configuration, const std::string& statePath, std::ostream& errors);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const Config& config() const { return machine; }
    const StateFile& stateFile() const { return state; }

    // Counts one library call; true when it is the call the configuration makes fail.
    bool nextCallFails();

    // Takes the board for this process, waiting while another process holds it (at
    // most `limit`, when given; without one, a wait of over a second is said on the
    // error stream), and loads what its chips hold. kOk, kNoBoard, kBusy or
    // kStateFailure.
    std::int32_t openBoard(std::int32_t board, std::optional<std::chrono::milliseconds> limit = std::nullopt);
    // Gives the board up once its chips have finished any EEPROM write. kOk or kBadHandle.
    std::int32_t closeBoard(std::int32_t board);
    bool isOpen(std::int32_t board) const { return openBoards.count(board) != 0; }

    // Register transfers on an open board: the byte count, or a negative status.
    std::int32_t read(std::int32_t board, std::uint32_t interfaceCode, std::uint32_t registerAddress, void* buffer,
                      std::uint64_t size);
    std::int32_t write(std::int32_t board, std::uint32_t interfaceCode, std::uint32_t registerAddress,
                       const void* buffer, std::uint64_t size);
    // The same, with the expander selected by its 8-bit bus address (0xA0, say).
    std::int32_t readAtBusAddress(std::int32_t board, std::uint8_t busAddress, std::uint32_t registerAddress,
                                  void* buffer, std::uint64_t size);
    std::int32_t writeAtBusAddress(std::int32_t board, std::uint8_t busAddress, std::uint32_t registerAddress,
                                   const void* buffer, std::uint64_t size);

    // Whether the expander at the bus address is in its EEPROM write cycle, in which it
    // acknowledges nothing; and a wait until that cycle is over.
    bool busyAtBusAddress(std::int32_t board, std::uint8_t busAddress);
    void awaitAtBusAddress(std::int32_t board, std::uint8_t busAddress);

    // What transfers and closings met of chips' EEPROM write cycles since the last call: how
    // long they waited for their end, or that one was refused because of it. Starts afresh.
    struct WriteCycleWait {
        std::chrono::milliseconds waited{0};
        bool refused = false;
    };
    WriteCycleWait takeWait() { return std::exchange(wait, WriteCycleWait{}); }

    // The chip of config().expanders[index], as last loaded.
    const Chip& chip(std::size_t index) const { return expanders.at(index).chip; }
    // The index in config().expanders of the board's expander behind the interface code.
    std::optional<std::size_t> expanderIndex(std::int32_t board, std::uint32_t interfaceCode) const;
    // Changes the chip of config().expanders[index], whose board is open, and saves it; when
    // it cannot be saved nothing changes. `edit` answers whether it wrote EEPROM over the bus,
    // which starts the chip's write cycle. kOk, kBadHandle or kStateFailure.
    std::int32_t changeChip(std::size_t index, const std::function<bool(Chip&)>& edit);
    // Loads every board's chips from the state file without taking the boards: a snapshot.
    bool loadAll();
    // Power cycle of an open board: SRAM is lost, EEPROM kept. A status.
    std::int32_t powerCycle(std::int32_t board);
    // Every chip back to its configured state of a new machine, write counts included; waits for
    // each board that another process holds. A status, which `whileHeld` is given too, while
    // every board is still held when it succeeded.
    std::int32_t reset(const std::function<void(std::int32_t)>& whileHeld = nullptr);

private:
    struct Expander {
        const ExpanderConfig* config;
        Chip chip;
        std::uint64_t transfers = 0;
        std::uint64_t reads = 0;
        std::uint64_t writes = 0;
        std::chrono::steady_clock::time_point readyAt{}; // end of the EEPROM write cycle
        std::optional<std::uint64_t> madeFrom;            // as the state entry says, kept when saved
    };
    enum class Direction { Read, Write };

    Expander* byInterfaceCode(std::int32_t board, std::uint32_t interfaceCode);
    Expander* byBusAddress(std::int32_t board, std::uint8_t busAddress);
    // kOk when the transfer reaches the chip, which counts it; a failure status otherwise.
    std::int32_t admit(std::int32_t board, Expander* expander, Direction direction, std::uint32_t registerAddress,
                       const void* buffer, std::uint64_t size);
    std::int32_t readFrom(std::int32_t board, Expander* expander, std::uint32_t registerAddress, void* buffer,
                          std::uint64_t size);
    std::int32_t writeTo(std::int32_t board, Expander* expander, std::uint32_t registerAddress, const void* buffer,
                         std::uint64_t size);
    std::int32_t commit(Expander& expander, const std::function<bool(Chip&)>& edit);
    static void load(Expander& expander, const std::vector<StateEntry>& entries);
    bool save(std::int32_t board);
    // Says, once per process for each board, which boards of the state (the one given, or
    // all) hold chips that grew from another configuration than this one.
    void checkOrigin(const std::vector<StateEntry>& entries, std::optional<std::int32_t> board);
    void report(const std::string& message) const;
    // Takes the board's lock, however long another process holds it; after a second of
    // waiting, says once on the error stream that, and for whom, it waits.
    std::unique_ptr<FileLock> awaitBoard(std::int32_t board, const std::string& lockPath) const;

    Config machine;
    StateFile state;
    std::ostream& errors;
    std::vector<Expander> expanders; // in the order of machine.expanders
    std::map<std::int32_t, std::unique_ptr<FileLock>> openBoards; // null: a read-only state needs no lock
    std::uint64_t calls = 0;
    std::set<std::int32_t> originReported; // boards already named
    WriteCycleWait wait;
};

// The machine the environment configures; null when its configuration is refused,
// which is then reported on `errors`.
std::unique_ptr<Simulator> simulatorFor(const SimEnvironment& environment, std::ostream& errors);

} // namespace vexa::sim
