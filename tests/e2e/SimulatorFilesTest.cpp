// The simulator's files in folders whose names are not plain ASCII, as a user's
// profile folder often is: vexa-sim and the tool (through the stand-in library) find
// the configuration, make and keep the state, and write the trace there, and make
// nothing under a misread name.

#include "Cases.h"

#include <set>

namespace vexa::e2e {
namespace {

struct LettersCase {
    std::string name;
    std::string folder;
};

void PrintTo(const LettersCase& row, std::ostream* stream) {
    *stream << row.name;
}

class FolderLetters : public testing::TestWithParam<LettersCase> {};

TEST_P(FolderLetters, HoldTheSimulatorsFiles) {
    const std::string& folder = GetParam().folder;
    Sandbox sandbox;
    sandbox.write(folder + "/sim.conf", kMachine);
    Invocation run;
    run.config = "the sandbox's own configuration, never read\n";
    // Wine reads the variables in the locale's character set; the values are UTF-8.
    run.environment = {{"LC_ALL", "C.UTF-8"},
                       {"VEXA_SIM_CONFIG", platform().environmentPath(sandbox.path(folder + "/sim.conf"))},
                       {"VEXA_SIM_STATE", platform().environmentPath(sandbox.path(folder + "/state/sim.state"))},
                       {"VEXA_SIM_TRACE", platform().environmentPath(sandbox.path(folder + "/sim.trace"))}};

    Invocation simulator = run;
    simulator.program = platform().bin / platform().simulatorCommandFile();
    simulator.arguments = {"set", "0", "IOS1", "0xF0", "0x02"};
    const Outcome set = runTool(sandbox, simulator);
    EXPECT_EQ("Board 0 IOS1: 1 byte written from 0xF0.\n", set.process.out);
    EXPECT_EQ("", set.process.err);

    run.arguments = {"-board", "0", "-get"};
    const Outcome report = runTool(sandbox, run);
    EXPECT_EQ(0, report.process.status) << report.process.err;
    EXPECT_NE(std::string::npos, report.process.out.find("Port A")) << report.process.out;
    const std::string trace = fileText(sandbox.path(folder + "/sim.trace"));
    // The simulator's own change first, then the tool's calls, in one trace.
    EXPECT_EQ(0u, trace.find("vexa-sim set 0 IOS1 0xF0 0x02 = 0  # ")) << trace;
    EXPECT_NE(std::string::npos, trace.find("\nVHalGetMaxDevices() = 6  # ")) << trace;

    simulator.arguments = {"show", "0"};
    const Outcome shown = runTool(sandbox, simulator);
    const std::string firstLines = "Configuration: " + platform().environmentPath(sandbox.path(folder + "/sim.conf")) +
                                   "\nState file: " +
                                   platform().environmentPath(sandbox.path(folder + "/state/sim.state")) + "\n";
    EXPECT_EQ(firstLines, shown.process.out.substr(0, firstLines.size()));

    // Nothing but the folder and the sandbox's own configuration: no folder of
    // misread letters.
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(sandbox.root())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{folder, "sim.conf"}), names);
    EXPECT_TRUE(fs::is_regular_file(sandbox.path(folder + "/state/sim.state")));
}

const LettersCase kLettersCases[] = {
    {"accented", "José"},
    {"cyrillic", "Юлия"},
};

std::string lettersCaseName(const testing::TestParamInfo<LettersCase>& row) {
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(SimulatorFiles, FolderLetters, testing::ValuesIn(kLettersCases), lettersCaseName);

} // namespace
} // namespace vexa::e2e
