#include "Cases.h"

#include "support/Machine.h"
#include "support/Text.h"

#include <stdexcept>

namespace vexa::e2e {

const char kMachine[] = "slots 6\n" VEXA_TEST_MACHINE_BOARDS;

Lines constructBoard(int board) {
    switch (board) {
    case 0:
        return selectBoard(0, 0x752) + frontExpander(0) + extensionExpander(0);
    case 1:
        return selectBoard(1, 0x7510) + frontExpander(1) + fixedExpander(1);
    case 2:
        return selectBoard(2, 0xB63) + frontExpander(2);
    case 4:
        return selectBoard(4, 0xA61) + frontExpander(4) + extensionExpander(4);
    case 5:
        return selectBoard(5, 0x752) + frontExpander(5) + probeUnanswered(5, "IOS1");
    }
    throw std::logic_error("board " + std::to_string(board) + " of the machine has no GPIO layout");
}

Lines releaseBoard(int board) {
    // Only the layouts of 0x752 and 0x7510 probe their first bus once more.
    return board == 2 || board == 4 ? closeBoard(board) : releaseWithProbe(board);
}

const char kWarning[] = "WARNING: all parameters must be set on this bank\n";

const char kUsage[] = "Usage: @PROGRAM@<options>\n"
                      "Options:\n"
                      "\t-b[oard] <board_index>\n"
                      "\t\tUse board at <board_index>\n"
                      "\t-f[orce]\n"
                      "\t\tForce progam GPIO bank settings (does not imply -s)\n"
                      "\t-g[et]\n"
                      "\t\tRead and show GPIO bank settings\n"
                      "\t-s[et] <bank>:<settings> [..]\n"
                      "\t\tProgram GPIO bank settings\n"
                      "\t\t<bank> is the bank number, or \"all\" to set all banks\n"
                      "\t\t<settings> is in the form <signal>,<pull-up-down>,<inversion>\n"
                      "\t\t<signal> is either \"ds|differential\", or \"se|single-ended\"\n"
                      "\t\t<pull-up-down> is either \"pu|pull-up\", or \"pd|pull-down\"\n"
                      "\t\t<inversion> is either \"in[verted]\", or \"ni|not-inverted\"\n"
                      "\t\tAlternatively, \"default\" can be used for <settings> to set the\n"
                      "\t\tdefault values for the bank, or \"clear|dip-switch\" can be used\n"
                      "\t\tto control the settings on the GPIO extension\n"
                      "\t\tboard via the dip-switch (bank settings will be erased)\n"
                      "\t-x | -exclude\n"
                      "\t\tExclude optional GPIO banks (must be set before -b to be effective)\n"
                      "\t-v[erbose]\n"
                      "\t\tVerbose output\n";

std::string failure(const std::string& message) {
    return "Exception caught: " + message + "\n";
}

std::string unsetBank(int number, const char* name) {
    return "Bank " + std::to_string(number) + " \"" + name +
           "\":\n"
           "\tOutputs are not-inverted; not set\n"
           "\tInputs have pull-ups; not set\n"
           "\tInputs are single-ended; not set\n";
}

std::vector<std::string> takeTraceLines(std::string& err) {
    std::vector<std::string> lines;
    std::string rest;
    for (std::size_t at = 0; at < err.size();) {
        const std::size_t lineEnd = err.find('\n', at);
        const std::size_t next = lineEnd == std::string::npos ? err.size() : lineEnd + 1;
        std::string line = err.substr(at, next - at);
        if (test::startsWith(line, kTracePrefix)) {
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.pop_back();
            }
            lines.push_back(line);
        } else {
            rest += line;
        }
        at = next;
    }
    err = rest;
    return lines;
}

std::vector<std::string> stepLines(const std::vector<std::string>& lines, const std::string& step) {
    std::vector<std::string> chosen;
    for (const std::string& line : lines) {
        if (test::startsWith(line, kTracePrefix + step)) {
            chosen.push_back(line);
        }
    }
    return chosen;
}

std::vector<std::string> entryPointLines(const std::string& missing) {
    std::vector<std::string> lines;
    for (const char* name : {"VHalGetMaxDevices", "VHalInitDevice", "VHalFreeDevice", "VHalGetBoardInfoInt",
                             "VHalGetBoardIndex", "VHalReadConfig", "VHalWriteConfig"}) {
        lines.push_back(std::string(kTracePrefix) + "entry " + name + (name == missing ? " missing" : " found"));
    }
    return lines;
}

void expectTraceLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    // Lines that match a pattern are shown as the pattern, so a difference stands out.
    std::vector<std::string> shown = actual;
    for (std::size_t i = 0; i < expected.size() && i < shown.size(); ++i) {
        const std::string& pattern = expected[i];
        if (!pattern.empty() && pattern.back() == '*' && shown[i].size() >= pattern.size() &&
            test::startsWith(shown[i], pattern.substr(0, pattern.size() - 1))) {
            shown[i] = pattern;
        }
    }
    EXPECT_EQ(test::linesText(expected), test::linesText(shown)) << "loader trace";
}

void PrintTo(const Case& row, std::ostream* stream) {
    *stream << row.name << ": vexa-gpio";
    for (const std::string& argument : row.arguments) {
        *stream << " '" << argument << "'";
    }
}

std::string caseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Whether any file in the folder holds `text`.
bool anyFileHolds(const fs::path& folder, const std::string& text) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && fileText(entry.path()).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_P(ToolRun, DoesExactlyWhatIsExpected) {
    const Case& row = GetParam();
    // Windows has no numbered descriptors, and valgrind hands its own log file to the
    // program as a descriptor that the command line closed.
    const bool closedStream = row.out == Sink::Closed || row.err == Sink::Closed;
    if (closedStream && (platform().windows || !platform().valgrind.empty())) {
        GTEST_SKIP() << "a closed standard descriptor reaches the tool only on Linux without valgrind";
    }
    Sandbox sandbox;
    Invocation run;
    run.arguments = row.arguments;
    run.config = row.config;
    run.environment = row.environment;
    run.out = row.out;
    run.err = row.err;
    run.pipeSignalBlocked = row.pipeSignalBlocked;
    Expected expected = row.expected;
    if (expected.status == kReaderGone && platform().windows) {
        expected.err = failure("Failed to write standard output");
        expected.status = 1;
    }
    expectOutcome(runTool(sandbox, run), expected, builtTool());
    if (row.out == Sink::Closed) {
        // The report must not have gone into a file that took the closed descriptor.
        EXPECT_FALSE(anyFileHolds(sandbox.root(), " is a Vexa")) << "the report was written into a file";
    }
}

} // namespace vexa::e2e
