#include "sim/HalFront.h"

#include "SimTestSupport.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

namespace vexa::sim {
namespace {

using testing::TempDir;

const char kMachine[] = "write-cycle-ms 0\nboard 0 type 0x752\nexpander 0 IOS0 DS4520\n";

// The trace's lines without their timing, which differs from run to run.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result = test::lines(text);
    for (std::string& line : result) {
        line = test::withoutTiming(line);
    }
    return result;
}

TEST(HalFront, TracesEveryCallInItsFixedForm) {
    const TempDir folder;
    std::ostringstream errors;
    {
        HalFront hal(folder.environment(kMachine), errors);
        std::uint8_t buffer[4] = {0x00, 0x01, 0xFF, 0xFE};
        hal.getMaxDevices();
        void* board = hal.initDevice(0);
        hal.initDevice(7);
        hal.getBoardInfoInt(board, "board/type");
        hal.getBoardInfoInt(board, "board/name");
        hal.getBoardIndex(board, 0);
        hal.writeConfig(board, buffer, 4, kIOS0, 0xF0);
        hal.readConfig(board, buffer, 2, kIOS0, 0xF0);
        hal.readConfig(board, buffer, 1, kIOS1, 0x00);
        hal.readConfig(board, buffer, 1, 0x00000001, 0x100);
        hal.writeConfig(board, nullptr, 1, kIOS0, 0x00);
        hal.freeDevice(board);
        hal.freeDevice(board);
        int stranger = 0;
        hal.getBoardIndex(&stranger, 0);
        hal.getBoardInfoInt(nullptr, nullptr);
    }
    const std::vector<std::string> expected = {
        "VHalGetMaxDevices() = 1",
        "VHalInitDevice(0) = board0",
        "VHalInitDevice(7) = null",
        "VHalGetBoardInfoInt(board0, \"board/type\") = 1874",
        "VHalGetBoardInfoInt(board0, \"board/name\") = -2",
        "VHalGetBoardIndex(board0, 0) = 0",
        "VHalWriteConfig(board0, IOS0, 0xF0, 4) = 4 [00 01 FF FE]",
        "VHalReadConfig(board0, IOS0, 0xF0, 2) = 2 [00 01]",
        "VHalReadConfig(board0, IOS1, 0x00, 1) = -5",
        "VHalReadConfig(board0, 0x00000001, 0x100, 1) = -2",
        "VHalWriteConfig(board0, IOS0, 0x00, 1) = -2",
        "VHalFreeDevice(board0) = 0",
        "VHalFreeDevice(board0) = -1",
        "VHalGetBoardIndex(unknown, 0) = -1",
        "VHalGetBoardInfoInt(null, null) = -1",
    };
    EXPECT_EQ(lines(folder.read("trace")), expected);
    EXPECT_EQ(errors.str(), "");
}

struct FailCase {
    std::uint64_t call;
    const char* traced;
};

// Each call of one run fails in turn; the failing call returns its failure and
// changes nothing, so the calls after it see what they would have seen anyway.
// Each line ends in the milliseconds since the library was loaded, and says what the call
// met of an EEPROM write cycle: a wait and how long, or a refusal.
TEST(HalFront, TraceLinesCarryTheTimeAndWaitsForTheWriteCycle) {
    const TempDir folder;
    std::ostringstream errors;
    {
        // The longest write cycle there is: the calls meant to meet it must, however
        // slowly a busy machine runs them one after another.
        HalFront hal(folder.environment("write-cycle-ms 1000\nboard 0 type 0x752\nexpander 0 IOS0 DS4520\n"
                                        "expander 0 IOS1 DS4510 busy refuse\n"),
                     errors);
        std::uint8_t byte = 0x05;
        void* board = hal.initDevice(0);
        hal.writeConfig(board, &byte, 1, kIOS0, 0x00); // EEPROM: the write cycle starts
        hal.readConfig(board, &byte, 1, kIOS0, 0x00);  // waits for its end
        hal.readConfig(board, &byte, 1, kIOS0, 0x00);  // the chip is ready
        hal.writeConfig(board, &byte, 1, kIOS1, 0x00);
        hal.readConfig(board, &byte, 1, kIOS1, 0x00); // refused while busy
        hal.getBoardIndex(board, 0);
        hal.freeDevice(board); // waits for the cycle's end
    }
    const std::vector<std::string> traced = [&folder] {
        std::vector<std::string> result;
        std::istringstream stream(folder.read("trace"));
        for (std::string line; std::getline(stream, line);) {
            result.push_back(line);
        }
        return result;
    }();
    ASSERT_EQ(traced.size(), 8u);
    const std::regex timing("  # ([0-9]+) ms(, (.*))?$");
    std::vector<std::string> notes;
    long previous = 0;
    for (const std::string& line : traced) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, timing)) << line;
        EXPECT_GE(std::stol(match[1]), previous) << line;
        previous = std::stol(match[1]);
        notes.push_back(std::regex_replace(match[3].str(), std::regex("[0-9]+ ms"), "N ms"));
    }
    EXPECT_EQ(notes, (std::vector<std::string>{"", "", "waited N ms for the write cycle", "", "",
                                               "refused: the chip is in its EEPROM write cycle", "",
                                               "waited N ms for the write cycle"}));
    std::smatch waited;
    ASSERT_TRUE(std::regex_search(traced[2], waited, std::regex("waited ([0-9]+) ms")));
    EXPECT_GE(std::stol(waited[1]), 1) << traced[2];
    EXPECT_LE(std::stol(waited[1]), 1000) << traced[2];
}

TEST(HalFront, TheChosenCallFailsAndChangesNothing) {
    const FailCase cases[] = {
        {1, "VHalGetMaxDevices() = -4"},
        {2, "VHalInitDevice(0) = null"},
        {3, "VHalGetBoardInfoInt(board0, \"board/type\") = -4"},
        {4, "VHalGetBoardIndex(board0, 0) = -4"},
        {5, "VHalReadConfig(board0, IOS0, 0xF0, 1) = -4"},
        {6, "VHalWriteConfig(board0, IOS0, 0xF0, 1) = -4 [05]"},
        {7, "VHalReadConfig(board0, IOS0, 0xF0, 1) = -4"},
        {8, "VHalFreeDevice(board0) = -4"},
    };
    for (const FailCase& c : cases) {
        const TempDir folder;
        std::ostringstream errors;
        SimEnvironment environment = folder.environment(kMachine);
        environment.failingCall = std::to_string(c.call);
        HalFront hal(environment, errors);
        std::uint8_t value = 0x05;
        hal.getMaxDevices();
        void* board = hal.initDevice(0);
        hal.getBoardInfoInt(board, "board/type");
        hal.getBoardIndex(board, 0);
        hal.readConfig(board, &value, 1, kIOS0, 0xF0);
        value = 0x05;
        hal.writeConfig(board, &value, 1, kIOS0, 0xF0);
        hal.readConfig(board, &value, 1, kIOS0, 0xF0);
        hal.freeDevice(board);
        const std::int32_t stillOpen = hal.getBoardIndex(board, 0);

        const std::vector<std::string> traced = lines(folder.read("trace"));
        ASSERT_EQ(traced.size(), 9u);
        EXPECT_EQ(traced[c.call - 1], c.traced);
        EXPECT_EQ(traced[6], c.call == 6   ? "VHalReadConfig(board0, IOS0, 0xF0, 1) = 1 [00]"
                             : c.call == 2 ? "VHalReadConfig(null, IOS0, 0xF0, 1) = -1"
                             : c.call == 7 ? c.traced
                                           : "VHalReadConfig(board0, IOS0, 0xF0, 1) = 1 [05]");
        EXPECT_EQ(stillOpen, c.call == 8 ? 0 : -1) << "a failed close keeps the board open";
    }
}

TEST(HalFront, BoardFaultsAndRepeatedOpens) {
    const TempDir folder;
    std::ostringstream errors;
    HalFront hal(folder.environment("slots 4\nboard 0 type 5 fail-type\nboard 1 type 6 fail-open\n"), errors);
    EXPECT_EQ(hal.getMaxDevices(), 4);
    void* board = hal.initDevice(0);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(hal.initDevice(0), nullptr) << "already open";
    EXPECT_EQ(hal.getBoardInfoInt(board, "board/type"), status::kInjected);
    EXPECT_EQ(hal.initDevice(1), nullptr);
    EXPECT_EQ(hal.initDevice(2), nullptr) << "an empty slot";
    EXPECT_EQ(hal.initDevice(-1), nullptr);
    EXPECT_EQ(hal.freeDevice(board), 0);
    EXPECT_EQ(hal.initDevice(0), board) << "the same handle once more";
}

TEST(HalFront, ARefusedConfigurationLeavesNoBoardAtAll) {
    const TempDir folder;
    std::ostringstream errors;
    const SimEnvironment environment = folder.environment("board 0 type 1\nexpander 0 IOS0 DS4520\nslots x\n");
    HalFront hal(environment, errors);
    EXPECT_EQ(errors.str(), "vexa-sim: " + environment.configPath + ":3: bad slot count \"x\" (0 to 2147483647)\n");
    EXPECT_EQ(hal.getMaxDevices(), status::kNoBoard);
    EXPECT_EQ(hal.initDevice(0), nullptr);
    EXPECT_EQ(lines(folder.read("trace")),
              (std::vector<std::string>{"VHalGetMaxDevices() = -3", "VHalInitDevice(0) = null"}));
}

} // namespace
} // namespace vexa::sim
