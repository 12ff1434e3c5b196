// Fault sweep: for each command line, every call into the hardware library that a
// clean run makes is made to fail in turn (the simulator's VEXA_SIM_FAIL_CALL), each
// run from the same prior state. Every run is held to the committed table of outcomes
// (expected-outcomes.txt) and checked on its own: how it ended, that each opened board
// is closed exactly once, that nothing is written after the failure, and that the
// simulated chips hold exactly what the successful writes of the trace put there.
//
// VEXA_FAULTS_OBSERVED=<file> appends the observed blocks of the table to <file>, to be
// compared with the committed one when the tool's behaviour changes on purpose.

#include "Harness.h"
#include "support/Text.h"

#include "sim/Config.h"
#include "sim/SimCommand.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vexa::faults {
namespace {

using e2e::Outcome;
using e2e::Sandbox;
using Lines = std::vector<std::string>;
using test::joined;
using test::linesText;
using test::startsWith;

// The chips start from settings that the command lines below change, with SEE set since
// their power-up, so that only what follows the tool's clearing of the configuration
// register reaches EEPROM. Pin 8 of the DS4520s belongs to no bank and must be written back as read.
const char kMachine[] = R"(slots 2
write-cycle-ms 0
board 0 type 0x752
expander 0 IOS0 DS4520
  register 0xF0 0x03   # pins 0, 1 pulled up: inverted, pull-downs
  register 0xF1 0x01   # pin 8 pulled up
  register 0xF2 0xFB   # pin 2 driven low: single-ended
  sram 0xF4 0x01       # SEE set
expander 0 IOS1 DS4510
  register 0xF0 0x06   # pins 1, 2 pulled up: pull-downs, Port B differential
  register 0xF7 0x00   # pin 0 driven low: not-inverted
  register 0xF4 0x00   # pin 3 driven low: Port A single-ended
  sram 0xF9 0x10       # SEE set
board 1 type 0x7510
expander 1 IOS0 DS4520
  register 0xF0 0x07   # pins 0, 1, 2 pulled up: inverted, pull-downs, differential
  register 0xF1 0x01
  sram 0xF4 0x01
expander 1 IOS1 DS4510
  register 0xF0 0x0B   # pins 0, 1, 3 pulled up
  sram 0xF9 0x10
)";

struct SweptCommand {
    const char* name; // names the test
    Lines arguments;
};

const SweptCommand kCommands[] = {
    {"board0_get", {"-board", "0", "-get"}},
    {"board0_set_all", {"-board", "0", "-set", "all:ds,pu,in", "-get"}},
    {"board0_two_passes", {"-board", "0", "-set", "1:default", "-set", "2:clear", "-get"}},
    {"board1_set_all_default", {"-board", "1", "-set", "all:default", "-get"}},
};

void PrintTo(const SweptCommand& command, std::ostream* stream) {
    for (const std::string& argument : command.arguments) {
        *stream << argument << ' ';
    }
}

const char kExceptionPrefix[] = "Exception caught: ";
const char kWarning[] = "WARNING: all parameters must be set on this bank";

// The lines of a stream's text; false when its last line lacks its newline.
bool splitLines(const std::string& text, Lines& lines) {
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return text.empty() || text.back() == '\n';
}

// A trace line "VHalReadConfig(board0, IOS0, 0xF0, 1) = 1 [00]": the call, and the result.
std::string callOf(const std::string& traceLine) {
    return traceLine.substr(0, traceLine.find(" = "));
}

std::string resultOf(const std::string& traceLine) {
    const std::size_t start = traceLine.find(" = ") + 3;
    return traceLine.substr(start, traceLine.find(" [", start) - start);
}

// The argument of a one-argument call: "board0" of "VHalFreeDevice(board0) = 0".
std::string argumentOf(const std::string& traceLine) {
    const std::size_t open = traceLine.find('(') + 1;
    return traceLine.substr(open, traceLine.find(')') - open);
}

bool failed(const std::string& traceLine) {
    const std::string result = resultOf(traceLine);
    return result == "null" || startsWith(result, "-");
}

bool isWrite(const std::string& traceLine) {
    return startsWith(traceLine, "VHalWriteConfig(");
}

// The machine as `vexa-sim show` prints it from a state file, less the file's name.
std::string shownState(const std::string& configPath, const std::string& statePath) {
    std::ostringstream out;
    std::ostringstream errors;
    const int status = sim::runSimCommand({"show"}, {configPath, statePath, "", ""}, out, errors);
    std::string shown;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        if (!startsWith(line, "State file:")) {
            shown += line + '\n';
        }
    }
    return "status " + std::to_string(status) + "\n" + errors.str() + shown;
}

// The model of what the chips must hold: the prior state with the trace's successful
// writes replayed onto it, in their order, through a simulator of its own.
std::string replayedState(const Sandbox& sandbox, const Lines& trace) {
    const std::string configPath = sandbox.path("sim.conf").string();
    const std::string statePath = sandbox.path("model.state").string();
    std::remove(statePath.c_str());
    std::istringstream configText(kMachine);
    std::ostringstream errors;
    sim::Simulator model(sim::parseConfig(configText, configPath), statePath, errors);
    for (const std::string& line : trace) {
        if (!isWrite(line) || failed(line)) {
            continue;
        }
        int board = 0;
        char device = 0;
        unsigned address = 0;
        unsigned size = 0;
        int consumed = 0;
        const int fields = std::sscanf(line.c_str(), "VHalWriteConfig(board%d, IOS%c, 0x%x, %u) = %*d [%n", &board,
                                       &device, &address, &size, &consumed);
        EXPECT_EQ(4, fields) << "unreadable trace line: " << line;
        std::vector<std::uint8_t> bytes;
        std::istringstream hexBytes(line.substr(static_cast<std::size_t>(consumed)));
        for (unsigned byte = 0; bytes.size() < size && hexBytes >> std::hex >> byte;) {
            bytes.push_back(static_cast<std::uint8_t>(byte));
        }
        if (!model.isOpen(board)) {
            model.openBoard(board);
        }
        const std::uint32_t code = device == '0' ? sim::kIOS0 : sim::kIOS1;
        EXPECT_EQ(static_cast<std::int32_t>(size), model.write(board, code, address, bytes.data(), bytes.size()))
            << "the model refused " << line;
    }
    return shownState(configPath, statePath) + errors.str();
}

Outcome runFrom(const Sandbox& sandbox, const SweptCommand& command, std::size_t failingCall) {
    std::remove(sandbox.path("sim.state").c_str()); // every run starts from the prior state
    e2e::Invocation invocation;
    invocation.arguments = command.arguments;
    invocation.config = kMachine;
    if (failingCall != 0) {
        invocation.environment.emplace_back("VEXA_SIM_FAIL_CALL", std::to_string(failingCall));
    }
    return e2e::runTool(sandbox, invocation);
}

// How a run ended, as the table gives it: the failure line, or "Done." with the
// report's header and bank count, which show what an absorbed failure changed.
std::string endOf(const Outcome& run) {
    Lines out;
    Lines err;
    splitLines(run.process.out, out);
    splitLines(run.process.err, err);
    if (run.process.status != 0) {
        return err.empty() ? "no message" : err.back();
    }
    std::string header;
    int banks = 0;
    for (const std::string& line : out) {
        if (startsWith(line, "Board ") && line.find(" is a ") != std::string::npos) {
            header = line;
        }
        banks += startsWith(line, "Bank ") ? 1 : 0;
    }
    return header.empty() ? "Done." : "Done. (report \"" + header + "\", banks: " + std::to_string(banks) + ")";
}

// What every run must do, whatever the table says of it.
void checkRun(const Sandbox& sandbox, const Outcome& run) {
    const e2e::ProcessResult& process = run.process;
    ASSERT_EQ("", process.spawnError);
    ASSERT_FALSE(process.timedOut) << "the tool hung and was killed";
    ASSERT_EQ(0, process.signal) << "the tool was ended by a signal";

    Lines out;
    Lines err;
    EXPECT_TRUE(splitLines(process.out, out)) << "standard output does not end with a newline";
    EXPECT_TRUE(splitLines(process.err, err)) << "standard error does not end with a newline";
    int failures = 0;
    for (const std::string& line : err) {
        if (startsWith(line, kExceptionPrefix)) {
            ++failures;
        } else {
            EXPECT_EQ(kWarning, line) << "unexpected line on standard error";
        }
    }
    if (process.status == 1) {
        EXPECT_EQ(1, failures) << "a failed run reports its failure exactly once";
        EXPECT_TRUE(!err.empty() && startsWith(err.back(), kExceptionPrefix)) << "the failure is the run's last word";
        EXPECT_EQ(std::string::npos, process.out.find("Done.")) << "a failed run must not say Done.";
    } else {
        EXPECT_EQ(0, process.status) << "exit status";
        EXPECT_EQ(0, failures) << "a run that ends normally reports no failure";
        EXPECT_TRUE(!out.empty() && out.back() == "Done.") << "a normal end says Done. last";
    }

    // Each board opened is closed exactly once.
    std::map<std::string, int> openings;
    for (const std::string& line : run.trace) {
        if (startsWith(line, "VHalInitDevice(") && !failed(line)) {
            ++openings[resultOf(line)];
        } else if (startsWith(line, "VHalFreeDevice(")) {
            --openings[argumentOf(line)];
        }
    }
    for (const auto& [board, unclosed] : openings) {
        EXPECT_EQ(0, unclosed) << board << ": openings less closings";
    }

    EXPECT_EQ(replayedState(sandbox, run.trace), shownState(sandbox.path("sim.conf").string(),
                                                            sandbox.path("sim.state").string()))
        << "the chips do not hold what the successful writes of the trace put there";
}

// The committed table: for each command line, the lines of its block that count
// (comments and blank lines left out).
std::map<std::string, Lines> expectedBlocks() {
    std::ifstream file(VEXA_FAULTS_TABLE);
    EXPECT_TRUE(file.good()) << "cannot read " << VEXA_FAULTS_TABLE;
    std::map<std::string, Lines> blocks;
    Lines* block = nullptr;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (startsWith(line, "command ")) {
            block = &blocks[line.substr(8)];
        } else if (block != nullptr) {
            block->push_back(line);
        } else {
            ADD_FAILURE() << "a row before the first command line: " << line;
        }
    }
    return blocks;
}

void recordObserved(const std::string& command, const Lines& rows) {
    const char* file = std::getenv("VEXA_FAULTS_OBSERVED");
    if (file != nullptr && *file != '\0') {
        std::ofstream(file, std::ios::app) << "command " << command << '\n' << joined(rows, "\n") << "\n\n";
    }
}

class FaultSweep : public testing::TestWithParam<SweptCommand> {
protected:
    static void SetUpTestSuite() {
        // The harness finds the build under test through these; ctest needs no set-up.
        setenv("VEXA_E2E_PLATFORM", "linux", 0);
        setenv("VEXA_E2E_BIN", VEXA_FAULTS_BIN, 0);
    }
};

TEST_P(FaultSweep, EveryLibraryCallFailsInTurn) {
    const SweptCommand& command = GetParam();
    const std::string commandLine = joined(command.arguments, " ");
    Sandbox sandbox;

    const Outcome clean = runFrom(sandbox, command, 0);
    {
        SCOPED_TRACE("the clean run");
        checkRun(sandbox, clean);
    }
    ASSERT_EQ(0, clean.process.status) << clean.process.err;
    Lines rows = {"clean run: " + std::to_string(clean.trace.size()) + " calls, " + endOf(clean)};

    for (std::size_t k = 1; k <= clean.trace.size(); ++k) {
        const std::string call = callOf(clean.trace[k - 1]);
        SCOPED_TRACE("call " + std::to_string(k) + " fails: " + call);
        const Outcome run = runFrom(sandbox, command, k);
        checkRun(sandbox, run);
        // The run is the clean one up to the failing call, which fails; a run that the
        // failure ends writes nothing after it.
        ASSERT_GE(run.trace.size(), k);
        EXPECT_EQ(linesText(Lines(clean.trace.begin(), clean.trace.begin() + static_cast<long>(k) - 1)),
                  linesText(Lines(run.trace.begin(), run.trace.begin() + static_cast<long>(k) - 1)));
        EXPECT_EQ(call, callOf(run.trace[k - 1]));
        EXPECT_TRUE(failed(run.trace[k - 1])) << run.trace[k - 1];
        if (run.process.status != 0) {
            for (std::size_t later = k; later < run.trace.size(); ++later) {
                EXPECT_FALSE(isWrite(run.trace[later])) << "written after the failure: " << run.trace[later];
            }
        }
        std::ostringstream row;
        row << std::setw(2) << k << " | " << call << " | " << endOf(run);
        rows.push_back(row.str());
    }

    recordObserved(commandLine, rows);
    const std::map<std::string, Lines> table = expectedBlocks();
    const auto expected = table.find(commandLine);
    ASSERT_TRUE(expected != table.end()) << "no block for \"" << commandLine << "\" in " << VEXA_FAULTS_TABLE;
    EXPECT_EQ(linesText(expected->second), linesText(rows)) << "outcomes differ from " << VEXA_FAULTS_TABLE;
}

std::string commandName(const testing::TestParamInfo<SweptCommand>& swept) {
    return swept.param.name;
}

INSTANTIATE_TEST_SUITE_P(CommandLines, FaultSweep, testing::ValuesIn(kCommands), commandName);

} // namespace
} // namespace vexa::faults
