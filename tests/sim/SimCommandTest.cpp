#include "sim/SimCommand.h"

#include "sim/Simulator.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vexa::sim {
namespace {

using testing::configFrom;
using testing::TempDir;

const char kMachine[] = "write-cycle-ms 0\nboard 0 type 0x752\nexpander 0 IOS0 DS4520\n";

struct CommandRun {
    int status;
    std::string out;
    std::string errors;
};

CommandRun run(const std::vector<std::string>& arguments, const SimEnvironment& environment) {
    std::ostringstream out;
    std::ostringstream errors;
    const int status = runSimCommand(arguments, environment, out, errors);
    return {status, out.str(), errors.str()};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SimCommand, RefusesBadCommandLines) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kMachine);
    const std::vector<std::vector<std::string>> usageErrors = {
        {},           {"frob"}, {"power-cycle"}, {"show", "all"}, {"reset", "0"}, {"Show"}, {"-help"},
        {"-h", "x"}, {"power-cycle", "abc"}, {"power-cycle", "0x80000000"}};
    for (const auto& arguments : usageErrors) {
        const CommandRun result = run(arguments, environment);
        EXPECT_EQ(result.status, kExitUsage) << result.errors;
        EXPECT_TRUE(contains(result.errors, "\nUsage: vexa-sim <command>\n")) << result.errors;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(run({"power-cycle", "3"}, environment).errors,
              "vexa-sim: no board \"3\" in the configuration (" + environment.configPath + ")\n");
    EXPECT_EQ(run({"show"}, folder.environment("slots -1\n")).status, kExitFailure);
    for (const char* help : {"help", "-h", "--help"}) {
        const CommandRun result = run({help}, environment);
        EXPECT_EQ(result.status, kExitOk) << help;
        EXPECT_EQ(result.out.rfind("Usage: vexa-sim <command>\n", 0), 0u) << help;
        EXPECT_EQ(result.errors, "") << help;
    }
    // Output that cannot be written fails the command.
    std::ostringstream closed;
    closed.setstate(std::ios::badbit);
    std::ostringstream errors;
    EXPECT_EQ(runSimCommand({"help"}, environment, closed, errors), kExitFailure);
    EXPECT_EQ(errors.str(), "vexa-sim: failed to write standard output\n");
}

TEST(SimCommand, ShowsPowerCyclesAndResets) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kMachine);
    {
        std::ostringstream errors;
        Simulator sim(configFrom(kMachine), environment.statePath, errors);
        ASSERT_EQ(sim.openBoard(0), status::kOk);
        const std::uint8_t pullUp = 0x05;
        const std::uint8_t seeSet = 0x01;
        sim.write(0, kIOS0, 0xF0, &pullUp, 1);
        sim.write(0, kIOS0, 0x31, &pullUp, 1); // user EEPROM
        sim.write(0, kIOS0, 0xF4, &seeSet, 1);
        const std::uint8_t changed = 0x06;
        sim.write(0, kIOS0, 0xF0, &changed, 1);
    }
    const CommandRun shown = run({"show"}, environment);
    EXPECT_EQ(shown.status, kExitOk) << shown.errors;
    for (const char* line : {"Board 0: type 0x752 (1874)\n", "  IOS0: DS4520 at bus address 0xA0\n",
                             "    0xF0 pull-up enable 0  0x06  0x05\n", "    0xF4 configuration     0x01  -\n",
                             "    User EEPROM 0x30  00 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
                             "    2    pulled-up   floating  high\n",
                             "    EEPROM writes per page (rated 50000): 0x30-0x37: 1, 0xF0-0xF7: 1\n"}) {
        EXPECT_TRUE(contains(shown.out, line)) << line << shown.out;
    }

    EXPECT_EQ(run({"power-cycle", "0"}, environment).out, "Board 0 power-cycled: SRAM reloaded from EEPROM.\n");
    EXPECT_TRUE(contains(run({"show"}, environment).out, "    0xF0 pull-up enable 0  0x05  0x05\n"));
    EXPECT_EQ(run({"reset"}, environment).status, kExitOk);
    const std::string afterReset = run({"show"}, environment).out;
    EXPECT_TRUE(contains(afterReset, "    0xF0 pull-up enable 0  0x00  0x00\n")) << afterReset;
    EXPECT_TRUE(contains(afterReset, "(rated 50000): none\n")) << afterReset;
}

} // namespace
} // namespace vexa::sim
