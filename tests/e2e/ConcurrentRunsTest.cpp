// Twenty runs of the tool at once on one simulated board. The simulator gives the board
// to one process at a time, so every run must end as it would alone, and the state file
// must come out readable and hold the writes of every run.

#include "Cases.h"

#include <regex>

namespace vexa::e2e {
namespace {

const char kOneBoard[] = "slots 1\n"
                         "write-cycle-ms 0\n"
                         "board 0 type 0x752\n"
                         "expander 0 IOS0 DS4520\n"
                         "expander 0 IOS1 DS4510\n";

// One setting per bank. Ports A and B share their inversion and pull pins, so they get
// the same values there: whatever order the runs take, the board ends the same.
const char* const kBankSettings[] = {"0:ds,pd,in", "1:ds,pd,in", "2:se,pd,in"};
constexpr int kRuns = 20;

Invocation setBank(int run) {
    Invocation invocation;
    invocation.arguments = {"-board", "0", "-set", kBankSettings[run % 3]};
    return invocation;
}

// Checks that a run ended normally with nothing on standard error but the simulator's
// word that it waits for the board, and gives what it wrote to standard output.
std::string cleanOutput(const Outcome& outcome) {
    static const std::regex waiting(
        "vexa-sim: board 0 is in use by another process( \\(pid [0-9]+\\))?; waiting until it is released\r?\n");
    const ProcessResult& process = outcome.process;
    EXPECT_EQ("", process.spawnError);
    EXPECT_FALSE(process.timedOut);
    EXPECT_EQ(0, process.signal);
    EXPECT_EQ("", std::regex_replace(process.err, waiting, ""));
    EXPECT_EQ(0, process.status) << outcome.memcheck;
    return process.out;
}

// Runs the tool, or `program`, once on the sandbox's machine.
std::string runAlone(const Sandbox& sandbox, Invocation run, const fs::path& program = {}) {
    run.config = kOneBoard;
    run.program = program;
    return cleanOutput(runTool(sandbox, run));
}

// What the simulator shows of the machine; it must read the state file cleanly.
std::string show(const Sandbox& sandbox) {
    Invocation run;
    run.arguments = {"show"};
    return runAlone(sandbox, run, platform().bin / platform().simulatorCommandFile());
}

std::string report(const Sandbox& sandbox) {
    Invocation run;
    run.arguments = {"-board", "0", "-get"};
    return runAlone(sandbox, run);
}

// The EEPROM write counts that `vexa-sim show` lists, page by page in its order.
std::vector<long> writeCounts(const std::string& shown) {
    static const std::regex page("0x[0-9A-F]{2}-0x[0-9A-F]{2}: ([0-9]+)");
    std::vector<long> counts;
    for (std::sregex_iterator at(shown.begin(), shown.end(), page), end; at != end; ++at) {
        counts.push_back(std::stol((*at)[1]));
    }
    return counts;
}

TEST(ConcurrentRuns, EveryRunEndsNormallyAndTheStateFileHoldsAllTheirWrites) {
    // One run alone gives the write counts of a run; the three settings one after the
    // other give the report the board must end with.
    const std::string done = platform().lineEnds("Done.\n");
    Sandbox alone;
    EXPECT_EQ(done, runAlone(alone, setBank(0)));
    const std::vector<long> countsOfOneRun = writeCounts(show(alone));
    ASSERT_FALSE(countsOfOneRun.empty()) << "a run that sets a bank writes the EEPROM";
    for (int run = 1; run < 3; ++run) {
        EXPECT_EQ(done, runAlone(alone, setBank(run)));
    }
    const std::string expectedReport = report(alone);

    Sandbox shared;
    std::vector<Invocation> runs;
    for (int run = 0; run < kRuns; ++run) {
        runs.push_back(setBank(run));
    }
    const std::vector<Outcome> outcomes = runAtOnce(shared, kOneBoard, runs);
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run) + ": -set " + kBankSettings[run % 3]);
        EXPECT_EQ(done, cleanOutput(outcomes[run]));
    }

    std::vector<long> expectedCounts;
    for (const long count : countsOfOneRun) {
        expectedCounts.push_back(kRuns * count);
    }
    EXPECT_EQ(expectedCounts, writeCounts(show(shared))) << "EEPROM writes per page after " << kRuns << " runs";
    EXPECT_EQ(expectedReport, report(shared));
}

} // namespace
} // namespace vexa::e2e
