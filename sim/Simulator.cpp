#include "Simulator.h"

#include "Format.h"
#include "Platform.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <thread>
#include <utility>

namespace vexa::sim {

using namespace status;

namespace {

// Returns once the steady clock has reached `deadline`: some thread libraries (MinGW's)
// wake a sleep_until a little before it, and a chip must never answer early. Returns how
// long it slept.
std::chrono::milliseconds sleepUntil(std::chrono::steady_clock::time_point deadline) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_until(deadline);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(deadline, start) - start);
}

// The expander's chip as configured, before anything is loaded into it.
Chip configuredChip(const ExpanderConfig& expander) {
    Chip chip(expander.chip, expander.powerUp, expander.external);
    chip.endurance = expander.endurance;
    chip.floatingHigh = expander.floatingHigh;
    return chip;
}

// What an expander's chip holds when the machine is new, and where: a 64-bit FNV-1a hash,
// the same on every platform, that the state keeps with each chip.
std::uint64_t fingerprint(const ExpanderConfig& expander) {
    std::uint64_t hash = 0xCBF29CE484222325;
    const auto add = [&hash](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            hash = (hash ^ ((value >> (8 * i)) & 0xFF)) * 0x100000001B3;
        }
    };
    add(static_cast<std::uint32_t>(expander.board), 4);
    add(expander.interfaceCode, 4);
    add(static_cast<std::uint64_t>(expander.chip), 1);
    const ChipMemory memory = expander.newMemory();
    for (unsigned address = 0; address < kRegisterCount; ++address) {
        add(memory.sram[address], 1);
        add(memory.eeprom[address], 1);
    }
    return hash;
}

} // namespace

Simulator::Simulator(Config configuration, const std::string& statePath, std::ostream& errorStream)
    : machine(std::move(configuration)), state(statePath), errors(errorStream) {
    for (const ExpanderConfig& expander : machine.expanders) {
        expanders.push_back({&expander, configuredChip(expander), 0, 0, 0, {}, {}});
        load(expanders.back(), {}); // as the machine is new
    }
}

Simulator::~Simulator() {
    while (!openBoards.empty()) {
        closeBoard(openBoards.begin()->first);
    }
}

bool Simulator::nextCallFails() {
    ++calls;
    return machine.failingCall == calls;
}

void Simulator::report(const std::string& message) const {
    printLine(errors, "vexa-sim: " + message);
}

void Simulator::load(Expander& expander, const std::vector<StateEntry>& entries) {
    const ExpanderConfig& config = *expander.config;
    expander.chip = configuredChip(config);
    expander.chip.memory = config.newMemory();
    expander.madeFrom = fingerprint(config);
    for (const StateEntry& entry : entries) {
        if (entry.board == config.board && entry.interfaceCode == config.interfaceCode && entry.chip == config.chip) {
            expander.chip.memory = entry.memory;
            expander.madeFrom = entry.madeFrom;
            for (unsigned pin = 0; pin < expander.chip.layout().pins.size(); ++pin) {
                if (entry.levels[pin]) {
                    expander.chip.setExternal(pin, *entry.levels[pin]);
                }
            }
        }
    }
}

void Simulator::checkOrigin(const std::vector<StateEntry>& entries, std::optional<std::int32_t> board) {
    std::set<std::int32_t> changed;
    for (const StateEntry& entry : entries) {
        if ((board && entry.board != *board) || originReported.count(entry.board) != 0) {
            continue;
        }
        bool current = false;
        for (const ExpanderConfig& config : machine.expanders) {
            if (entry.board == config.board && entry.interfaceCode == config.interfaceCode &&
                entry.chip == config.chip) {
                // A state written before chips kept their origin is taken as it is.
                current = !entry.madeFrom || *entry.madeFrom == fingerprint(config);
            }
        }
        if (!current) {
            changed.insert(entry.board);
        }
    }
    if (changed.empty()) {
        return;
    }
    // "board 0", "boards 0 and 1", "boards 0, 1 and 3"
    std::string boards = changed.size() == 1 ? "board " : "boards ";
    for (auto next = changed.begin(); next != changed.end(); ++next) {
        boards += (next == changed.begin() ? "" : std::next(next) == changed.end() ? " and " : ", ") +
                  std::to_string(*next);
    }
    report(state.path() + ": holds chips of " + boards + " as an earlier configuration made them, not as " +
           machine.source + " says; \"vexa-sim reset\" starts afresh from it");
    originReported.insert(changed.begin(), changed.end());
}

bool Simulator::save(std::int32_t board) {
    std::vector<StateEntry> entries;
    for (const Expander& expander : expanders) {
        const ExpanderConfig& config = *expander.config;
        if (config.board == board) {
            LevelOverrides levels{};
            for (unsigned pin = 0; pin < expander.chip.layout().pins.size(); ++pin) {
                if (expander.chip.external(pin) != config.external[pin]) {
                    levels[pin] = expander.chip.external(pin);
                }
            }
            entries.push_back(
                {board, config.interfaceCode, config.chip, expander.chip.memory, expander.madeFrom, levels});
        }
    }
    try {
        state.replaceBoard(board, entries);
        return true;
    } catch (const StateError& failure) {
        report(failure.what());
        return false;
    }
}

std::int32_t Simulator::openBoard(std::int32_t board, std::optional<std::chrono::milliseconds> limit) {
    if (machine.board(board) == nullptr) {
        return kNoBoard;
    }
    if (isOpen(board)) {
        return kBusy;
    }
    try {
        const std::string lockPath = state.boardLockPath(board);
        std::unique_ptr<FileLock> lock; // none needed where nothing can change
        if (!FileLock::needless(lockPath)) {
            lock = limit ? FileLock::within(lockPath, *limit) : awaitBoard(board, lockPath);
            if (!lock) {
                return kBusy;
            }
        }
        const std::vector<StateEntry> entries = state.load();
        checkOrigin(entries, board);
        for (Expander& expander : expanders) {
            if (expander.config->board == board) {
                load(expander, entries);
            }
        }
        openBoards.emplace(board, std::move(lock));
        return kOk;
    } catch (const std::runtime_error& failure) {
        report(failure.what());
        return kStateFailure;
    }
}

std::unique_ptr<FileLock> Simulator::awaitBoard(std::int32_t board, const std::string& lockPath) const {
    // Long enough that a run which merely follows another says nothing.
    constexpr std::chrono::seconds kQuietWait(1);
    std::unique_ptr<FileLock> lock = FileLock::within(lockPath, kQuietWait);
    if (!lock) {
        const std::optional<long> holder = FileLock::holder(lockPath);
        report("board " + std::to_string(board) + " is in use by another process" +
               (holder ? " (pid " + std::to_string(*holder) + ")" : std::string()) +
               "; waiting until it is released");
        lock = std::make_unique<FileLock>(lockPath);
    }
    return lock;
}

std::int32_t Simulator::closeBoard(std::int32_t board) {
    const auto open = openBoards.find(board);
    if (open == openBoards.end()) {
        return kBadHandle;
    }
    // The next holder of the board finds its chips ready.
    for (const Expander& expander : expanders) {
        if (expander.config->board == board) {
            wait.waited += sleepUntil(expander.readyAt);
        }
    }
    openBoards.erase(open);
    return kOk;
}

Simulator::Expander* Simulator::byInterfaceCode(std::int32_t board, std::uint32_t interfaceCode) {
    for (Expander& expander : expanders) {
        if (expander.config->board == board && expander.config->interfaceCode == interfaceCode) {
            return &expander;
        }
    }
    return nullptr;
}

Simulator::Expander* Simulator::byBusAddress(std::int32_t board, std::uint8_t busAddress) {
    for (Expander& expander : expanders) {
        if (expander.config->board == board && expander.config->busAddress == busAddress) {
            return &expander;
        }
    }
    return nullptr;
}

bool Simulator::busyAtBusAddress(std::int32_t board, std::uint8_t busAddress) {
    const Expander* expander = byBusAddress(board, busAddress);
    return expander != nullptr && std::chrono::steady_clock::now() < expander->readyAt;
}

void Simulator::awaitAtBusAddress(std::int32_t board, std::uint8_t busAddress) {
    if (const Expander* expander = byBusAddress(board, busAddress)) {
        sleepUntil(expander->readyAt);
    }
}

std::int32_t Simulator::admit(std::int32_t board, Expander* expander, Direction direction,
                              std::uint32_t registerAddress, const void* buffer, std::uint64_t size) {
    if (!isOpen(board)) {
        return kBadHandle;
    }
    if (registerAddress > 0xFF || size == 0 || size > kMaxTransfer || buffer == nullptr) {
        return kBadArgument;
    }
    if (expander == nullptr) {
        return kNoAnswer;
    }
    const ExpanderConfig& config = *expander->config;
    const std::uint64_t transfer = ++expander->transfers;
    const bool reading = direction == Direction::Read;
    const std::uint64_t numberOfItsKind = reading ? ++expander->reads : ++expander->writes;
    if (config.absent || (config.answeredTransfers && transfer > *config.answeredTransfers)) {
        return kNoAnswer;
    }
    if ((reading ? config.failingRead : config.failingWrite) == numberOfItsKind) {
        return kInjected;
    }
    if (std::chrono::steady_clock::now() < expander->readyAt) {
        if (config.refuseWhileBusy) {
            wait.refused = true;
            return kNoAnswer;
        }
        // Acknowledge polling: the interface retries until the chip's write cycle is over.
        wait.waited += sleepUntil(expander->readyAt);
    }
    return kOk;
}

std::int32_t Simulator::readFrom(std::int32_t board, Expander* expander, std::uint32_t registerAddress,
                                 void* buffer, std::uint64_t size) {
    const std::int32_t admitted = admit(board, expander, Direction::Read, registerAddress, buffer, size);
    if (admitted != kOk) {
        return admitted;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::uint64_t i = 0; i < size; ++i) {
        bytes[i] = expander->chip.read(static_cast<std::uint8_t>(registerAddress + i));
    }
    return static_cast<std::int32_t>(size);
}

std::int32_t Simulator::writeTo(std::int32_t board, Expander* expander, std::uint32_t registerAddress,
                                const void* buffer, std::uint64_t size) {
    const std::int32_t admitted = admit(board, expander, Direction::Write, registerAddress, buffer, size);
    if (admitted != kOk) {
        return admitted;
    }
    const std::int32_t committed = commit(*expander, [&](Chip& chip) {
        return chip.write(static_cast<std::uint8_t>(registerAddress), static_cast<const std::uint8_t*>(buffer), size);
    });
    return committed == kOk ? static_cast<std::int32_t>(size) : committed;
}

std::int32_t Simulator::commit(Expander& expander, const std::function<bool(Chip&)>& edit) {
    const Chip before = expander.chip;
    const bool eepromWritten = edit(expander.chip);
    if (!save(expander.config->board)) {
        expander.chip = before; // a change that cannot be kept did not happen
        return kStateFailure;
    }
    if (eepromWritten) {
        expander.readyAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(machine.writeCycleMs);
    }
    return kOk;
}

std::optional<std::size_t> Simulator::expanderIndex(std::int32_t board, std::uint32_t interfaceCode) const {
    for (std::size_t i = 0; i < expanders.size(); ++i) {
        if (expanders[i].config->board == board && expanders[i].config->interfaceCode == interfaceCode) {
            return i;
        }
    }
    return std::nullopt;
}

std::int32_t Simulator::changeChip(std::size_t index, const std::function<bool(Chip&)>& edit) {
    Expander& expander = expanders.at(index);
    if (!isOpen(expander.config->board)) {
        return kBadHandle;
    }
    return commit(expander, edit);
}

std::int32_t Simulator::read(std::int32_t board, std::uint32_t interfaceCode, std::uint32_t registerAddress,
                             void* buffer, std::uint64_t size) {
    return readFrom(board, byInterfaceCode(board, interfaceCode), registerAddress, buffer, size);
}

std::int32_t Simulator::write(std::int32_t board, std::uint32_t interfaceCode, std::uint32_t registerAddress,
                              const void* buffer, std::uint64_t size) {
    return writeTo(board, byInterfaceCode(board, interfaceCode), registerAddress, buffer, size);
}

std::int32_t Simulator::readAtBusAddress(std::int32_t board, std::uint8_t busAddress, std::uint32_t registerAddress,
                                         void* buffer, std::uint64_t size) {
    return readFrom(board, byBusAddress(board, busAddress), registerAddress, buffer, size);
}

std::int32_t Simulator::writeAtBusAddress(std::int32_t board, std::uint8_t busAddress,
                                          std::uint32_t registerAddress, const void* buffer, std::uint64_t size) {
    return writeTo(board, byBusAddress(board, busAddress), registerAddress, buffer, size);
}

bool Simulator::loadAll() {
    try {
        const std::vector<StateEntry> entries = state.load();
        checkOrigin(entries, std::nullopt);
        for (Expander& expander : expanders) {
            load(expander, entries);
        }
        return true;
    } catch (const StateError& failure) {
        report(failure.what());
        return false;
    }
}

std::int32_t Simulator::powerCycle(std::int32_t board) {
    if (!isOpen(board)) {
        return kBadHandle;
    }
    for (Expander& expander : expanders) {
        if (expander.config->board == board) {
            sleepUntil(expander.readyAt);
            expander.chip.powerCycle();
        }
    }
    return save(board) ? kOk : kStateFailure;
}

std::int32_t Simulator::reset(const std::function<void(std::int32_t)>& whileHeld) {
    std::vector<std::int32_t> boards;
    for (const BoardConfig& board : machine.boards) {
        if (!isOpen(board.index)) {
            boards.push_back(board.index);
        }
    }
    std::sort(boards.begin(), boards.end()); // one order for every process: no deadlock
    try {
        std::vector<std::unique_ptr<FileLock>> held;
        for (const std::int32_t board : boards) {
            const std::string lockPath = state.boardLockPath(board);
            if (!FileLock::needless(lockPath)) {
                held.push_back(std::make_unique<FileLock>(lockPath));
            }
        }
        state.clear();
        for (const std::unique_ptr<FileLock>& lock : held) {
            lock->removeOnRelease(); // nobody holds these boards
        }
        if (whileHeld) {
            whileHeld(kOk);
        }
    } catch (const std::runtime_error& failure) {
        report(failure.what());
        if (whileHeld) {
            whileHeld(kStateFailure);
        }
        return kStateFailure;
    }
    for (Expander& expander : expanders) {
        load(expander, {});
    }
    return kOk;
}

std::unique_ptr<Simulator> simulatorFor(const SimEnvironment& environment, std::ostream& errors) {
    if (environment.statePath.empty()) {
        // Not the current folder: a state that moves with it would look lost.
        printLine(errors, std::string("vexa-sim: no place for the state file: set VEXA_SIM_STATE, or ") +
                              kStateHomeVariables);
        return nullptr;
    }
    try {
        return std::make_unique<Simulator>(loadConfig(environment), environment.statePath, errors);
    } catch (const ConfigError& failure) {
        printLine(errors, std::string("vexa-sim: ") + failure.what());
        return nullptr;
    }
}

} // namespace vexa::sim
