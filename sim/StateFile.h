#pragma once
// What the simulated chips hold between runs, kept in one text file per user. Each
// entry is keyed by board index, interface code and chip type, so state written under
// another configuration is never applied to a different chip.

#include "Chip.h"

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vexa::sim {

// Levels that drive pins' lines instead of what the configuration says, by pin.
using LevelOverrides = std::array<std::optional<ExternalLevel>, kMaxPins>;

struct StateEntry {
    std::int32_t board = 0;
    std::uint32_t interfaceCode = 0;
    ChipType chip = ChipType::DS4520;
    ChipMemory memory;
    // A fingerprint of the expander's configured new state that the memory grew from;
    // none in a state written before it was kept.
    std::optional<std::uint64_t> madeFrom{};
    LevelOverrides levels{};
};

// An unreadable, malformed or unwritable state file; the text names the file.
class StateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string formatState(const std::vector<StateEntry>& entries);
// Throws StateError naming the file and line.
std::vector<StateEntry> parseState(std::istream& input, const std::string& name);

// The state file and its locks. Every operation takes the file's lock for its own
// duration, so processes that save different boards never lose each other's entries.
// A state file that is a symbolic link stands for its target: the target is read,
// replaced and locked (its lock files lie beside it), so runs through the link and
// through the target exclude each other. In a read-only folder without lock files,
// reads go on without a lock, and changes fail as the folder is read-only.
class StateFile {
public:
    explicit StateFile(std::string path) : filePath(std::move(path)) {}

    const std::string& path() const { return filePath; }
    // Empty when the file does not exist yet.
    std::vector<StateEntry> load() const;
    // Replaces every entry of the board by `entries`, keeping the other boards' entries.
    void replaceBoard(std::int32_t board, const std::vector<StateEntry>& entries) const;
    // Forgets everything: the next load finds no entries.
    void clear() const;
    // The file whose lock gives one process the board. Throws std::runtime_error when
    // the state file is a loop of links.
    std::string boardLockPath(std::int32_t board) const;

private:
    // Runs the action, given the file that the path names, under that file's lock;
    // every failure becomes a StateError.
    template <typename Action>
    auto locked(Action action) const;
    static std::vector<StateEntry> read(const std::string& file);

    std::string filePath;
};

} // namespace vexa::sim
