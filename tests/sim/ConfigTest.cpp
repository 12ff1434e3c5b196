#include "sim/Config.h"
#include "sim/Platform.h"

#include "SimTestSupport.h"
#include "support/Environment.h"
#include "support/Refusal.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vexa::sim {
namespace {

using testing::configFrom;
using testing::TempDir;

TEST(Config, ReadsEveryStatementAndOption) {
    const Config config = configFrom(R"(# a comment line
slots 6            # more slots than boards
write-cycle-ms 0
fail-call 12
transfer-result zero
board 1 type -5 fail-open
board 2 type 0xFFFFFFFF fail-type
expander 2 IOS1 DS4510 address 0xB0 absent answers 3 fail-read 2 fail-write 4 busy refuse endurance 7 floating high
  register 0xF7 0xFF
  sram 0xF9 0x10
  external 3 high
expander 2 IOS0 DS4520
)");
    EXPECT_EQ(config.slots, 6);
    EXPECT_EQ(config.writeCycleMs, 0u);
    EXPECT_EQ(config.failingCall, 12u);
    EXPECT_TRUE(config.transfersReturnZero);
    ASSERT_EQ(config.boards.size(), 2u);
    EXPECT_EQ(config.board(1)->type, -5);
    EXPECT_TRUE(config.board(1)->failOpen);
    EXPECT_EQ(config.board(2)->type, -1);
    EXPECT_TRUE(config.board(2)->failTypeQuery);
    EXPECT_EQ(config.board(0), nullptr);

    ASSERT_EQ(config.expanders.size(), 2u);
    const ExpanderConfig& extension = config.expanders[0];
    EXPECT_EQ(extension.interfaceCode, kIOS1);
    EXPECT_EQ(extension.chip, ChipType::DS4510);
    EXPECT_EQ(extension.busAddress, 0xB0);
    EXPECT_TRUE(extension.absent);
    EXPECT_EQ(extension.answeredTransfers, 3u);
    EXPECT_EQ(extension.failingRead, 2u);
    EXPECT_EQ(extension.failingWrite, 4u);
    EXPECT_TRUE(extension.refuseWhileBusy);
    EXPECT_EQ(extension.endurance, 7u);
    EXPECT_TRUE(extension.floatingHigh);
    EXPECT_EQ(config.expanders[1].endurance, std::nullopt);
    EXPECT_FALSE(config.expanders[1].floatingHigh);
    EXPECT_EQ(extension.powerUp[0xF7], 0xFF);
    EXPECT_EQ(extension.powerUp[0xF4], 0x01) << "factory value kept";
    EXPECT_EQ(extension.newMemory().sram[0xF7], 0xFF);
    EXPECT_EQ(extension.newMemory().sram[0xF9], 0x10);
    EXPECT_EQ(extension.newMemory().eeprom[0xF9], 0x00);
    EXPECT_EQ(extension.external[3], ExternalLevel::High);
    EXPECT_EQ(extension.external[2], ExternalLevel::Floating);
    EXPECT_EQ(config.expanders[1].busAddress, 0xA0);
    EXPECT_FALSE(config.expanders[1].failingRead.has_value());
}

TEST(Config, AByteOrderMarkAtTheStartIsSkipped) {
    EXPECT_EQ(configFrom("\xEF\xBB\xBF" "slots 3\n").slots, 3);
}

TEST(Config, SlotsDefaultToTheHighestBoardAndTheDefaultCoversTheLayouts) {
    EXPECT_EQ(configFrom("board 3 type 1\nboard 1 type 1\n").slots, 4);

    const Config config = loadConfig(SimEnvironment{});
    EXPECT_EQ(config.source, kDefaultConfigName);
    EXPECT_EQ(config.slots, 4);
    EXPECT_EQ(config.writeCycleMs, 20u);
    const std::int32_t types[] = {0x752, 0x7510, 0xB63, 0x754};
    for (std::int32_t index = 0; index < 4; ++index) {
        ASSERT_NE(config.board(index), nullptr);
        EXPECT_EQ(config.board(index)->type, types[index]);
    }
    ASSERT_EQ(config.expanders.size(), 6u);
    EXPECT_EQ(config.expanders[1].board, 0);
    EXPECT_EQ(config.expanders[1].interfaceCode, kIOS1);
    EXPECT_EQ(config.expanders[1].chip, ChipType::DS4510);
    EXPECT_EQ(config.expanders[1].busAddress, 0xA2);
}

struct ErrorCase {
    std::string text; // may hold a NUL byte
    const char* message;
};

TEST(Config, RefusesEachErrorNamingFileAndLine) {
    const std::string board = "board 0 type 1\n";
    const std::string extension = board + "expander 0 IOS1 DS4510\n";
    const ErrorCase cases[] = {
        {"boards 2", "test.conf:1: unknown statement \"boards\""},
        {std::string("slots 2\nboard 0\0 type 1", 23), "test.conf:2: NUL byte in the line"},
        {"slots 2\n\xEF\xBB\xBF" "board 0 type 1", "test.conf:2: unknown statement \"\xEF\xBB\xBF" "board\""},
        {"slots 4 5", "test.conf:1: unexpected \"5\""},
        {"slots 1\nslots 2", "test.conf:2: slots given twice"},
        {"slots x", "test.conf:1: bad slot count \"x\" (0 to 2147483647)"},
        {"write-cycle-ms 2000", "test.conf:1: bad write cycle time \"2000\" (0 to 1000)"},
        {"fail-call 0", "test.conf:1: bad call number \"0\" (1 to 18446744073709551615)"},
        {"transfer-result bytes", "test.conf:1: bad transfer result \"bytes\" (count or zero)"},
        {"slots 2\nboard 2 type 1\nslots 3", "test.conf:3: slots given twice"},
        {"slots 2\n\nboard 2 type 1", "test.conf:3: board 2 does not fit in 2 board slots"},
        {"board 0", "test.conf:1: missing \"type\""},
        {"board 0 kind 1", "test.conf:1: expected \"type\", not \"kind\""},
        {"board 0 type 0x100000000", "test.conf:1: bad board type \"0x100000000\" (a 32-bit code)"},
        {"board 0 type -0x5", "test.conf:1: bad board type \"-0x5\" (a 32-bit code)"},
        {"board 0 type 2147483648", "test.conf:1: bad board type \"2147483648\" (a 32-bit code)"},
        {"board 0 type 1 fail-close", "test.conf:1: unexpected \"fail-close\""},
        {"board 0 type 1\nboard 0 type 2", "test.conf:2: board 0 is declared twice"},
        {"expander 0 IOS0 DS4520", "test.conf:1: board 0 is not declared above"},
        {"board 0 type 1\nexpander 0 IOS2 DS4520", "test.conf:2: unknown interface \"IOS2\" (IOS0 or IOS1)"},
        {"board 0 type 1\nexpander 0 IOS0 DS4530", "test.conf:2: unknown chip \"DS4530\" (DS4510 or DS4520)"},
        {"board 0 type 1\nexpander 0 IOS0", "test.conf:2: missing chip"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520 address 0xA1",
         "test.conf:2: bad bus address \"0xA1\" (the 8-bit form is even)"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520 answers", "test.conf:2: missing transfer count"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520 endurance 0",
         "test.conf:2: bad page write count \"0\" (1 to 4294967295)"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520 floating middle",
         "test.conf:2: unknown floating level \"middle\" (low or high)"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520 fail-read 0",
         "test.conf:2: bad read number \"0\" (1 to 18446744073709551615)"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520\nexpander 0 IOS0 DS4510",
         "test.conf:3: board 0 already has an expander behind IOS0"},
        {"board 0 type 1\nexpander 0 IOS0 DS4520\nexpander 0 IOS1 DS4510 address 0xA0",
         "test.conf:3: bus address 0xA0 is already taken on board 0"},
        {"register 0xF0 1", "test.conf:1: register before any expander"},
        {"external 0 high", "test.conf:1: external before any expander"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nregister 0xF8 0",
         "test.conf:3: register 0xF8 of the DS4510 is read-only"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nregister 0x50 0",
         "test.conf:3: register 0x50 of the DS4510 is reserved"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nregister 0xF9 0x10",
         "test.conf:3: SEE (bit 0x10 of register 0xF9) of the DS4510 is clear after every power-up; \"sram\" sets it "
         "in a new machine"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nregister 0xF0 0x100",
         "test.conf:3: bad register value \"0x100\" (0 to 255)"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nexternal 4 high",
         "test.conf:3: bad pin of the DS4510 \"4\" (0 to 3)"},
        {"board 0 type 1\nexpander 0 IOS1 DS4510\nexternal 1 up",
         "test.conf:3: unknown level \"up\" (high, low or floating)"},
    };
    for (const ErrorCase& c : cases) {
        EXPECT_EQ(vexa::test::refusalOf<ConfigError>([&] { configFrom(c.text); }), c.message) << c.text;
    }
}

TEST(Config, EnvironmentNamesTheFileAndTheFailingCall) {
    const TempDir folder;
    SimEnvironment environment = folder.environment("fail-call 3\nboard 0 type 1\n");
    EXPECT_EQ(loadConfig(environment).failingCall, 3u);
    environment.failingCall = "7";
    EXPECT_EQ(loadConfig(environment).failingCall, 7u);

    environment.failingCall = "seven";
    EXPECT_THROW(loadConfig(environment), ConfigError);
    environment.failingCall.clear();
    environment.configPath = folder.file("missing.conf");
    const std::string refusal = vexa::test::refusalOf<ConfigError>([&] { loadConfig(environment); });
    EXPECT_TRUE(vexa::test::startsWith(refusal, environment.configPath + ": cannot open: ")) << refusal;
}

// Sets the variable from UTF-8 text, as Unicode on Windows whatever the test's code
// page; empty removes it.
void setUnicodeVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableW(widen(name).c_str(), value.empty() ? nullptr : widen(value).c_str());
#else
    vexa::test::setVariable(name, value.empty() ? nullptr : value.c_str());
#endif
}

struct UserFolderCase {
    std::vector<std::pair<const char*, std::string>> variables;
    std::string statePath;
};

// A user's folder often has letters beyond ASCII: the paths must come out whole, as
// UTF-8, from the variables, the default state's among them.
TEST(Config, PathsFromTheEnvironmentKeepEveryLetter) {
#ifdef _WIN32
    const UserFolderCase cases[] = {
        {{{"LOCALAPPDATA", "C:\\Users\\José\\AppData\\Local"}, {"VEXA_SIM_STATE", ""}},
         "C:\\Users\\José\\AppData\\Local\\vexa-sim\\state"},
        {{{"LOCALAPPDATA", ""}, {"USERPROFILE", "C:\\Users\\Юлия"}, {"VEXA_SIM_STATE", ""}},
         "C:\\Users\\Юлия\\AppData\\Local\\vexa-sim\\state"},
        {{{"VEXA_SIM_STATE", "D:\\Юлия\\state"}}, "D:\\Юлия\\state"},
    };
#else
    const UserFolderCase cases[] = {
        {{{"XDG_STATE_HOME", "/home/José/.local/state"}, {"VEXA_SIM_STATE", ""}},
         "/home/José/.local/state/vexa-sim/state"},
        {{{"XDG_STATE_HOME", ""}, {"HOME", "/home/Юлия"}, {"VEXA_SIM_STATE", ""}},
         "/home/Юлия/.local/state/vexa-sim/state"},
        {{{"VEXA_SIM_STATE", "/srv/Юлия/state"}}, "/srv/Юлия/state"},
    };
#endif
    const char* const others[] = {"VEXA_SIM_CONFIG", "VEXA_SIM_TRACE"};
    for (const UserFolderCase& c : cases) {
        std::vector<std::pair<const char*, std::string>> saved;
        for (const auto& [name, value] : c.variables) {
            saved.emplace_back(name, environmentValue(name));
            setUnicodeVariable(name, value);
        }
        for (const char* name : others) {
            saved.emplace_back(name, environmentValue(name));
            setUnicodeVariable(name, c.statePath + "." + name);
        }
        const SimEnvironment environment = SimEnvironment::fromProcess();
        EXPECT_EQ(environment.statePath, c.statePath);
        EXPECT_EQ(environment.configPath, c.statePath + ".VEXA_SIM_CONFIG");
        EXPECT_EQ(environment.tracePath, c.statePath + ".VEXA_SIM_TRACE");
        for (const auto& [name, value] : saved) {
            setUnicodeVariable(name, value);
        }
    }
}

} // namespace
} // namespace vexa::sim
