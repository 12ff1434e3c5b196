#include "SimCommand.h"

#include "ChipCommands.h"
#include "Format.h"
#include "Platform.h"
#include "ShowCommand.h"
#include "Simulator.h"

#include <memory>
#include <sstream>

namespace vexa::sim {

namespace {

const char kUsage[] = R"(Usage: vexa-sim <command>
Shows and controls the simulated frame-grabber boards.

Commands:
  show [--json] [<board>]
                       every board and expander, or those of one board: the
                       registers in SRAM and EEPROM, the user EEPROM, each pin's
                       setting and level, and the EEPROM writes per page; with
                       --json, as JSON (its schema is in vexa-sim(1))
  power-cycle <board>  switches the board's expanders off and on: SRAM is reloaded
                       from EEPROM, the configuration register from its power-up value
  reset                puts every expander back to its configured state of a new
                       machine, EEPROM write counts included
  get [--eeprom] <board> <bus> <register> [<count>]
                       prints <count> bytes (default 1) from <register> on, as the
                       chip answers a read; with --eeprom, what its EEPROM holds
  set [--eeprom] <board> <bus> <register> <byte>...
                       writes the bytes as the chip takes a write on its bus (SEE,
                       page wrap, write cycle); with --eeprom, straight into its
                       EEPROM, as a programmer would
  dump <board> <bus>   prints the chip's SRAM, EEPROM and EEPROM write counts as text
  load <board> <bus>   sets them from such a text on standard input
  level <board> <bus> <pin> high|low|float
                       what drives the pin's line from outside, kept in the state
  dip-switch <board> <port> on|off
                       flips Port A's or B's dip-switch: on drives the port's
                       signal line (IOS1 pin 3 or 2) high, off low
  help, -h, --help     shows this text

<board> is a board index, <bus> IOS0 or IOS1; numbers are decimal or 0x-hexadecimal.

Environment:
  VEXA_SIM_CONFIG     the configuration file (the built-in default when unset)
  VEXA_SIM_STATE      the state file (when unset, a per-user default in the
                      folder that )";
// The variables of the per-user default differ between systems.
const char kUsageTail[] = R"( names)
  VEXA_SIM_TRACE      a file that gets a line for each change vexa-sim makes,
                      as for each library call (no trace when unset)
  VEXA_SIM_FAIL_CALL  k: the libraries' k-th call fails (vexa-sim refuses a
                      bad k, as the libraries do)

Exit status: 0 done, 1 failed, 2 usage error, 3 changed but unconfirmed (the
confirmation could not be written to standard output). More in vexa-sim(1).
)";

int powerCycle(const CommandRun& run) {
    const std::int32_t board = boardArgument(run.words[0]);
    const std::unique_ptr<Simulator> simulator = simulatorFor(run.environment, run.errors);
    if (simulator == nullptr) {
        return kExitFailure;
    }
    requireBoard(simulator->config(), board, run.words[0]);
    if (simulator->openBoard(board) != status::kOk) {
        return kExitFailure;
    }
    const std::int32_t result = simulator->powerCycle(board);
    traceChange(run, result);
    simulator->closeBoard(board);
    if (result != status::kOk) {
        return kExitFailure;
    }
    printLine(run.out, "Board " + std::to_string(board) + " power-cycled: SRAM reloaded from EEPROM.");
    return kExitOk;
}

int reset(const CommandRun& run) {
    const std::unique_ptr<Simulator> simulator = simulatorFor(run.environment, run.errors);
    if (simulator == nullptr || simulator->reset([&run](std::int32_t result) { traceChange(run, result); }) !=
                                    status::kOk) {
        return kExitFailure;
    }
    printLine(run.out, "Every expander is back to its configured state of a new machine.");
    return kExitOk;
}

int help(const CommandRun& run) {
    run.out << kUsage << kStateHomeVariables << kUsageTail;
    run.out.flush();
    return kExitOk;
}

struct Command {
    const char* name;
    const char* option; // the one option the command takes, or null
    std::size_t fewest; // words after the name and option
    std::size_t most;
    const char* shape; // what the words are, for the message of a wrong count
    int (*action)(const CommandRun&);
    bool changes; // changes the machine: its confirmation matters, not its output alone
};

const Command kCommands[] = {
    {"show", "--json", 0, 1, "[--json] [<board>]", showMachine, false},
    {"power-cycle", nullptr, 1, 1, "<board>", powerCycle, true},
    {"reset", nullptr, 0, 0, "", reset, true},
    {"get", "--eeprom", 3, 4, "[--eeprom] <board> <bus> <register> [<count>]", getBytes, false},
    {"set", "--eeprom", 4, 4 + kMaxTransfer, "[--eeprom] <board> <bus> <register> <byte>...", setBytes, true},
    {"dump", nullptr, 2, 2, "<board> <bus>", dumpChip, false},
    {"load", nullptr, 2, 2, "<board> <bus>", loadChip, true},
    {"level", nullptr, 4, 4, "<board> <bus> <pin> high|low|float", setLevel, true},
    {"dip-switch", nullptr, 3, 3, "<board> <port> on|off", setDipSwitch, true},
    {"help", nullptr, 0, 0, "", help, false},
    {"-h", nullptr, 0, 0, "", help, false},
    {"--help", nullptr, 0, 0, "", help, false},
};

// One line saying what is wrong; the usage text would bury it.
int usageError(std::ostream& errors, const std::string& message) {
    printLine(errors, "vexa-sim: " + message);
    printLine(errors, "Try 'vexa-sim --help'.");
    return kExitUsage;
}

int runCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::istream& in,
               std::ostream& out, std::ostream& errors) {
    if (arguments.empty()) {
        return usageError(errors, "no command given");
    }
    const std::string& name = arguments[0];
    for (const Command& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        std::string invocation = "vexa-sim";
        for (const std::string& argument : arguments) {
            invocation += " " + argument;
        }
        CommandRun run{{arguments.begin() + 1, arguments.end()}, false, environment, in, out, errors, invocation};
        if (command.option != nullptr && !run.words.empty() && run.words[0] == command.option) {
            run.optionGiven = true;
            run.words.erase(run.words.begin());
        }
        if (run.words.size() < command.fewest || run.words.size() > command.most) {
            return usageError(errors, "\"" + name + "\" takes " +
                                          (command.most == 0 ? std::string("no arguments") : command.shape));
        }
        int status = kExitFailure;
        try {
            status = command.action(run);
        } catch (const UsageError& refusal) {
            return usageError(errors, refusal.what());
        }
        if (out) {
            return status;
        }
        // A report that did not reach its reader (a full disk, a closed pipe) is no success. A
        // change stays all the same: the status tells a script so, apart from a change that failed.
        if (command.changes && status == kExitOk) {
            printLine(errors, "vexa-sim: the change was made, but its confirmation could not be written to "
                              "standard output");
            return kExitUnconfirmed;
        }
        printLine(errors, "vexa-sim: failed to write standard output");
        return kExitFailure;
    }
    return usageError(errors, "unknown command \"" + name + "\"");
}

} // namespace

int runSimCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::istream& in,
                  std::ostream& out, std::ostream& errors) {
    return runCommand(arguments, environment, in, out, errors);
}

int runSimCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::ostream& out,
                  std::ostream& errors) {
    std::istringstream nothing;
    return runSimCommand(arguments, environment, nothing, out, errors);
}

} // namespace vexa::sim
