#pragma once
// The vexa-sim commands that act on one chip named on the command line (get, set, dump, load),
// and what every command shares: its words, its streams and how it refuses them.

#include "Config.h"

#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::sim {

// A command line that cannot be taken: the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What one command gets: its words after the command's name and option, and the streams.
struct CommandRun {
    std::vector<std::string> words;
    bool optionGiven = false; // the command's one option: --eeprom for get and set, --json for show
    const SimEnvironment& environment;
    std::istream& in;
    std::ostream& out;
    std::ostream& errors;
    std::string invocation; // "vexa-sim set 0 IOS0 0xF0 0x05": the command line, for the trace
};

// Appends the change the command made (0) or failed to save (a negative status) to the
// trace, as the libraries append their calls. Called while the board is held, so that one
// log shows what vexa-sim and the tool did to the machine in the order they did it.
void traceChange(const CommandRun& run, std::int32_t result);

// The extension's dip-switches: each drives the signal line of its port, a pin of the
// DS4510 behind IOS1; on is high, off low.
struct DipSwitch {
    const char* port;
    unsigned pin;
};
constexpr DipSwitch kDipSwitches[] = {{"A", 3}, {"B", 2}};

// A board index of the command line; throws UsageError.
std::int32_t boardArgument(const std::string& text);
// Throws UsageError when the configuration has no such board; `text` is how it was given.
void requireBoard(const Config& config, std::int32_t board, const std::string& text);

// Each returns the exit status, or throws UsageError.
int getBytes(const CommandRun& run);
int setBytes(const CommandRun& run);
// dump <board> <bus>, load <board> <bus>: the chip as text on standard output, and back from standard input.
int dumpChip(const CommandRun& run);
int loadChip(const CommandRun& run);
// level <board> <bus> <pin> high|low|float, dip-switch <board> <port> on|off: what drives a line
// from outside, kept in the state.
int setLevel(const CommandRun& run);
int setDipSwitch(const CommandRun& run);

} // namespace vexa::sim
