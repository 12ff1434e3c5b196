#include "sim/SimCommand.h"

#include "sim/HalFront.h"
#include "sim/Platform.h"
#include "sim/Simulator.h"

#include "SimTestSupport.h"
#include "support/Text.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace vexa::sim {
namespace {

using testing::configFrom;
using testing::TempDir;

const char kMachine[] = "write-cycle-ms 0\nboard 0 type 0x752\nexpander 0 IOS0 DS4520\n";
// Board 0 with both expanders, and a second board.
const char kTwoBoards[] = "write-cycle-ms 0\nboard 0 type 0x752\nexpander 0 IOS0 DS4520\nexpander 0 IOS1 DS4510\n"
                          "board 1 type 0xB63\nexpander 1 IOS0 DS4520\n";

struct CommandRun {
    int status;
    std::string out;
    std::string errors;
};

CommandRun run(const std::vector<std::string>& arguments, const SimEnvironment& environment,
               const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream errors;
    const int status = runSimCommand(arguments, environment, in, out, errors);
    return {status, out.str(), errors.str()};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SimCommand, RefusesBadCommandLines) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kMachine);
    const std::string noBoard = "no board \"3\" in the configuration (" + environment.configPath + ")";
    const std::vector<std::pair<std::vector<std::string>, std::string>> usageErrors = {
        {{}, "no command given"},
        {{"frob"}, "unknown command \"frob\""},
        {{"power-cycle"}, "\"power-cycle\" takes <board>"},
        {{"show", "all"}, "bad board index \"all\" (0 to 2147483647)"},
        {{"reset", "0"}, "\"reset\" takes no arguments"},
        {{"Show"}, "unknown command \"Show\""},
        {{"-help"}, "unknown command \"-help\""},
        {{"-h", "x"}, "\"-h\" takes no arguments"},
        {{"power-cycle", "abc"}, "bad board index \"abc\" (0 to 2147483647)"},
        {{"power-cycle", "0x80000000"}, "bad board index \"0x80000000\" (0 to 2147483647)"},
        {{"power-cycle", "3"}, noBoard},
        {{"show", "3"}, noBoard},
    };
    for (const auto& [arguments, message] : usageErrors) {
        const CommandRun result = run(arguments, environment);
        EXPECT_EQ(result.status, kExitUsage) << message;
        EXPECT_EQ(result.errors, "vexa-sim: " + message + "\nTry 'vexa-sim --help'.\n");
        EXPECT_EQ(result.out, "");
    }
    const TempDir other;
    EXPECT_EQ(run({"show"}, other.environment("slots -1\n")).status, kExitFailure);
    for (const char* help : {"help", "-h", "--help"}) {
        const CommandRun result = run({help}, environment);
        EXPECT_EQ(result.status, kExitOk) << help;
        EXPECT_EQ(result.out.rfind("Usage: vexa-sim <command>\n", 0), 0u) << help;
        EXPECT_EQ(result.errors, "") << help;
        for (const std::string variable :
             {"VEXA_SIM_CONFIG", "VEXA_SIM_STATE", "VEXA_SIM_TRACE", "VEXA_SIM_FAIL_CALL", kStateHomeVariables}) {
            EXPECT_TRUE(contains(result.out, variable)) << variable;
        }
    }
    // Output that cannot be written fails the command; a change stays, and says so.
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> unwritten = {
        {{"help"}, kExitFailure, "vexa-sim: failed to write standard output\n"},
        {{"get", "0", "IOS0", "0x00"}, kExitFailure, "vexa-sim: failed to write standard output\n"},
        {{"set", "0", "IOS0", "0x00", "0x12"}, kExitUnconfirmed,
         "vexa-sim: the change was made, but its confirmation could not be written to standard output\n"},
        {{"load", "0", "IOS0"}, kExitFailure,
         "vexa-sim: standard input: not a vexa-sim chip dump (it has no line \"vexa-sim chip dump 1\")\n"
         "vexa-sim: failed to write standard output\n"},
    };
    for (const auto& [arguments, status, message] : unwritten) {
        std::ostringstream closed;
        closed.setstate(std::ios::badbit);
        std::ostringstream errors;
        EXPECT_EQ(runSimCommand(arguments, environment, closed, errors), status) << arguments[0];
        EXPECT_EQ(errors.str(), message);
    }
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, environment).out, "0x12\n");
}

// Each change vexa-sim makes goes to the trace as the library's calls do, in the order
// they happened, with its status: -6 for one the state could not keep.
TEST(SimCommand, ChangesAreTracedWithTheLibraryCalls) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kTwoBoards);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"set", "0", "IOS0", "0xF0", "5"},
             {"set", "--eeprom", "0", "IOS1", "0x00", "0x12"},
             {"get", "0", "IOS1", "0x00"},
             {"level", "0", "IOS0", "8", "high"},
             {"dip-switch", "0", "B", "on"},
             {"load", "1", "IOS0"},
             {"power-cycle", "1"},
             {"show"},
             {"reset"}}) {
        run(arguments, environment, arguments[0] == "load" ? run({"dump", "0", "IOS0"}, environment).out : "");
    }
    std::ostringstream errors;
    HalFront(environment, errors).getMaxDevices();
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_read);
    EXPECT_EQ(run({"set", "0", "IOS0", "0xF0", "6"}, environment).status, kExitFailure);
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_all);
    std::vector<std::string> traced = test::lines(folder.read("trace"));
    for (std::string& line : traced) {
        line = test::withoutTiming(line);
    }
    EXPECT_EQ(traced, (std::vector<std::string>{"vexa-sim set 0 IOS0 0xF0 5 = 0",
                                                "vexa-sim set --eeprom 0 IOS1 0x00 0x12 = 0",
                                                "vexa-sim level 0 IOS0 8 high = 0", "vexa-sim dip-switch 0 B on = 0",
                                                "vexa-sim load 1 IOS0 = 0", "vexa-sim power-cycle 1 = 0",
                                                "vexa-sim reset = 0", "VHalGetMaxDevices() = 2",
                                                "vexa-sim set 0 IOS0 0xF0 6 = -6"}));
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

// Each command line the chip commands refuse, with the first line of its message.
TEST(SimCommand, ChipCommandsRefuseBadArgumentsAndChangeNothing) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kTwoBoards);
    ASSERT_EQ(run({"set", "0", "IOS0", "0x10", "7"}, environment).status, kExitOk);
    const std::string stateBefore = folder.read("state");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"get", "0", "IOS0"}, "\"get\" takes [--eeprom] <board> <bus> <register> [<count>]"},
        {{"get", "0", "IOS0", "0", "1", "2"}, "\"get\" takes [--eeprom] <board> <bus> <register> [<count>]"},
        {{"get", "--json", "0", "IOS0", "0"}, "bad board index \"--json\" (0 to 2147483647)"},
        {{"get", "x", "IOS0", "0"}, "bad board index \"x\" (0 to 2147483647)"},
        {{"get", "2", "IOS0", "0"}, "no board \"2\" in the configuration (" + environment.configPath + ")"},
        {{"get", "1", "IOS1", "0"}, "board 1 has no expander behind IOS1"},
        {{"get", "0", "IOS2", "0"}, "unknown bus \"IOS2\" (IOS0 or IOS1)"},
        {{"get", "0", "IOS0", "0x100"}, "bad register \"0x100\" (0x00 to 0xFF)"},
        {{"get", "0", "IOS0", "0", "0"}, "bad count \"0\" (1 to 256)"},
        {{"get", "0", "IOS0", "0", "257"}, "bad count \"257\" (1 to 256)"},
        {{"get", "--eeprom", "0", "IOS0", "0xF0", "17"}, "bad count \"17\" (1 to 16)"},
        {{"set", "0", "IOS0", "0xF0"}, "\"set\" takes [--eeprom] <board> <bus> <register> <byte>..."},
        {{"set", "0", "IOS0", "0xF0", "256"}, "bad byte \"256\" (0x00 to 0xFF)"},
        {{"set", "0", "IOS0", "0xF0", "1", "-1"}, "bad byte \"-1\" (0x00 to 0xFF)"},
        {{"set", "--eeprom", "0", "IOS0", "0xF5", "0"}, "register 0xF5 of the DS4520 has no EEPROM byte"},
        {{"set", "--eeprom", "0", "IOS0", "0xF7", "0", "0"}, "register 0xF7 of the DS4520 has no EEPROM byte"},
        {{"set", "--eeprom", "0", "IOS1", "0xF8", "0"}, "register 0xF8 of the DS4510 has no EEPROM byte"},
        {{"set", "--eeprom", "0", "IOS0", "0xF4", "1"}, "the DS4520 comes up with SEE (bit 0x01 of 0xF4) clear"},
        {{"set", "--eeprom", "0", "IOS0", "0xFF", "0", "0"}, "2 bytes from 0xFF run past 0xFF"},
        {{"level", "0", "IOS1", "2"}, "\"level\" takes <board> <bus> <pin> high|low|float"},
        {{"level", "0", "IOS1", "4", "high"}, "the DS4510 has pins 0 to 3"},
        {{"level", "0", "IOS0", "9", "high"}, "bad pin \"9\" (0 to 8)"},
        {{"level", "0", "IOS0", "8", "HIGH"}, "unknown level \"HIGH\" (high, low or float)"},
        {{"level", "1", "IOS1", "0", "low"}, "board 1 has no expander behind IOS1"},
        {{"dip-switch", "0", "A"}, "\"dip-switch\" takes <board> <port> on|off"},
        {{"dip-switch", "0", "C", "on"}, "unknown port \"C\" (A or B)"},
        {{"dip-switch", "0", "A", "1"}, "unknown dip-switch position \"1\" (on or off)"},
        {{"dip-switch", "1", "A", "on"}, "board 1 has no expander behind IOS1"},
        {{"dip-switch", "3", "B", "off"}, "no board \"3\" in the configuration (" + environment.configPath + ")"},
        {{"dump", "0"}, "\"dump\" takes <board> <bus>"},
        {{"dump", "--eeprom", "0", "IOS0"}, "\"dump\" takes <board> <bus>"},
        {{"load", "0", "IOS0", "file"}, "\"load\" takes <board> <bus>"},
        {{"load", "1", "IOS1"}, "board 1 has no expander behind IOS1"},
        {{"load", "0", "ios0"}, "unknown bus \"ios0\" (IOS0 or IOS1)"},
    };
    for (const auto& [arguments, message] : refusals) {
        const CommandRun result = run(arguments, environment);
        EXPECT_EQ(result.status, kExitUsage) << message;
        EXPECT_EQ(result.errors, "vexa-sim: " + message + "\nTry 'vexa-sim --help'.\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(folder.read("state"), stateBefore);
}

TEST(SimCommand, GetReadsAsTheChipAnswersAndSetWritesAsItTakesAWrite) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kTwoBoards);
    const auto get = [&](const std::vector<std::string>& arguments) {
        std::vector<std::string> line = {"get"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        const CommandRun result = run(line, environment);
        EXPECT_EQ(result.status, kExitOk) << result.errors;
        return result.out;
    };
    // Factory values; the status register reads the lines (pins 0 to 7 released and floating).
    EXPECT_EQ(get({"0", "IOS0", "0xF0", "4"}), "0x00 0x00 0xFF 0x01\n");
    EXPECT_EQ(get({"0", "IOS0", "0xF8"}), "0x00\n");
    // A read runs on round the register space, 16 bytes a line.
    EXPECT_EQ(get({"0", "IOS1", "0xFE", "18"}),
              "0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00\n0x00 0x00\n");

    // Over the bus: 4 bytes at 0xF6 wrap inside the page to 0xF0 and 0xF1; SEE clear, so
    // pull-up enable reaches EEPROM, and the page counts one write.
    CommandRun set = run({"set", "0", "IOS0", "0xF6", "1", "2", "0x03", "0x01"}, environment);
    EXPECT_EQ(set.status, kExitOk) << set.errors;
    EXPECT_EQ(set.out, "Board 0 IOS0: 4 bytes written from 0xF6.\n");
    EXPECT_EQ(get({"0", "IOS0", "0xF0", "2"}), "0x03 0x01\n");
    EXPECT_EQ(get({"--eeprom", "0", "IOS0", "0xF0", "2"}), "0x03 0x01\n");
    EXPECT_EQ(get({"0", "IOS0", "0xF8", "2"}), "0x03 0x01\n") << "pulled-up lines read high";
    EXPECT_TRUE(contains(run({"show"}, environment).out, "(rated 50000): 0xF0-0xF7: 1\n"));
    // With SEE set only SRAM changes.
    EXPECT_EQ(run({"set", "0", "IOS0", "0xF4", "1"}, environment).status, kExitOk);
    EXPECT_EQ(run({"set", "0", "IOS0", "0xF0", "0x80"}, environment).status, kExitOk);
    EXPECT_EQ(get({"0", "IOS0", "0xF0"}), "0x80\n");
    EXPECT_EQ(get({"--eeprom", "0", "IOS0", "0xF0"}), "0x03\n");

    // Straight into EEPROM: no page wrap, no write counted, SRAM untouched until a power cycle;
    // user memory, which has no SRAM, reads the new bytes at once.
    set = run({"set", "--eeprom", "0", "IOS1", "0x3D", "0xAA", "0xBB", "0xCC"}, environment);
    EXPECT_EQ(set.status, kExitOk) << set.errors;
    EXPECT_EQ(set.out, "Board 0 IOS1: 3 bytes written to EEPROM from 0x3D.\n");
    EXPECT_EQ(get({"--eeprom", "0", "IOS1", "0x3D", "3"}), "0xAA 0xBB 0xCC\n");
    EXPECT_EQ(get({"0", "IOS1", "0x3D", "3"}), "0xAA 0xBB 0xCC\n") << "user memory is EEPROM only";
    EXPECT_EQ(run({"set", "--eeprom", "0", "IOS1", "0xF7", "0"}, environment).status, kExitOk);
    EXPECT_EQ(get({"0", "IOS1", "0xF7"}), "0x01\n");
    EXPECT_EQ(run({"power-cycle", "0"}, environment).status, kExitOk);
    EXPECT_EQ(get({"0", "IOS1", "0xF7"}), "0x00\n");
    EXPECT_EQ(get({"0", "IOS0", "0xF0"}), "0x03\n");
    const std::string shown = run({"show"}, environment).out;
    EXPECT_TRUE(contains(shown, "  IOS1: DS4510 at bus address 0xA2\n    Register")) << shown;
    EXPECT_FALSE(contains(shown, "0x38-0x3F")) << shown;
    // The other board is untouched.
    EXPECT_EQ(get({"1", "IOS0", "0xF0", "4"}), "0x00 0x00 0xFF 0x01\n");
}

TEST(SimCommand, SetOnAReadOnlyOrUnusableStateFailsAndChangesNothing) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kMachine);
    ASSERT_EQ(run({"set", "0", "IOS0", "0x00", "1"}, environment).status, kExitOk);
    const std::string stateBefore = folder.read("state");
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_read);
    for (const bool eeprom : {false, true}) {
        std::vector<std::string> arguments = {"set", "0", "IOS0", "0x00", "2"};
        if (eeprom) {
            arguments.insert(arguments.begin() + 1, "--eeprom");
        }
        const CommandRun result = run(arguments, environment);
        EXPECT_EQ(result.status, kExitFailure);
        EXPECT_EQ(result.errors, "vexa-sim: " + environment.statePath + ": the file is read-only\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, environment).out, "0x01\n");
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_all);
    EXPECT_EQ(folder.read("state"), stateBefore);
    folder.write("state", "not a state\n");
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, environment).status, kExitFailure);
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, folder.environment("slots x\n")).status, kExitFailure);
}

// What dump prints, load on a fresh machine takes back byte for byte; a text that is no
// whole dump of that chip changes nothing.
TEST(SimCommand, DumpThenLoadReproducesTheChip) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kTwoBoards);
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF4", "0", "1", "0", "0"}, environment).status, kExitOk); // EEPROM too
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF9", "0x10", "0xAB"}, environment).status, kExitOk);    // SRAM only
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF0", "0x0C"}, environment).status, kExitOk);
    ASSERT_EQ(run({"set", "--eeprom", "0", "IOS1", "0x07", "0x99", "0x77"}, environment).status, kExitOk);
    const CommandRun dumped = run({"dump", "0", "IOS1"}, environment);
    ASSERT_EQ(dumped.status, kExitOk) << dumped.errors;
    EXPECT_TRUE(contains(dumped.out, "\nchip DS4510\n")) << dumped.out;
    EXPECT_TRUE(contains(dumped.out, "\nsram 0xF0  0C 00 00 00 00 01 00 00 00 10 AB 00 00 00 00 00\n")) << dumped.out;
    EXPECT_TRUE(contains(dumped.out, "\neeprom 0x00  00 00 00 00 00 00 00 99 77 00")) << dumped.out;

    const TempDir other;
    const SimEnvironment fresh = other.environment(kTwoBoards);
    const CommandRun loaded = run({"load", "0", "IOS1"}, fresh, dumped.out);
    EXPECT_EQ(loaded.status, kExitOk) << loaded.errors;
    EXPECT_EQ(loaded.out, "Board 0 IOS1: loaded.\n");
    EXPECT_EQ(run({"dump", "0", "IOS1"}, fresh).out, dumped.out);
    std::ostringstream ignored;
    Simulator original(configFrom(kTwoBoards), environment.statePath, ignored);
    Simulator copy(configFrom(kTwoBoards), fresh.statePath, ignored);
    ASSERT_TRUE(original.loadAll() && copy.loadAll());
    EXPECT_TRUE(copy.chip(1).memory == original.chip(1).memory);
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, fresh).out, run({"get", "0", "IOS1", "0xF8"}, environment).out);
    EXPECT_EQ(run({"dump", "0", "IOS0"}, fresh).out, run({"dump", "0", "IOS0"}, environment).out);

    // Comments and blank lines anywhere, lines in any order, CR LF line ends and a byte-order
    // mark, as editors and hand-written dumps have them; anything else wrong is refused with
    // its line.
    const std::string text = dumped.out;
    const auto replaced = [&text](const std::string& from, const std::string& to) {
        std::string result = text;
        result.replace(result.find(from), from.size(), to);
        return result;
    };
    const std::string header = "vexa-sim chip dump 1\n";
    std::string crlf;
    for (const char c : text) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    for (const std::string& input : {"# from a board\n\n" + text, text.substr(header.size()) + "\n" + header,
                                     crlf, "\xEF\xBB\xBF" + text}) {
        const CommandRun accepted = run({"load", "0", "IOS1"}, fresh, input);
        EXPECT_EQ(accepted.status, kExitOk) << accepted.errors << input;
        EXPECT_EQ(run({"dump", "0", "IOS1"}, fresh).out, text);
    }
    const std::string stateBefore = other.read("state");
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"", "standard input: not a vexa-sim chip dump (it has no line \"vexa-sim chip dump 1\")"},
        {"chip DS4510\n", "standard input: not a vexa-sim chip dump (it has no line \"vexa-sim chip dump 1\")"},
        {replaced("dump 1", "dump 2"), "standard input:1: a chip dump of version \"2\"; this vexa-sim reads version 1"},
        {replaced("chip DS4510", "chip DS4520"), "standard input holds a DS4520, and board 0 has a DS4510 behind IOS1"},
        {replaced("chip DS4510", "chip DS4530"), "standard input:2: unknown chip \"DS4530\" (DS4510 or DS4520)"},
        {replaced("sram 0xF0  0C", "sram 0xF0  0G"), "standard input:18: bad byte \"0G\" (two hexadecimal digits)"},
        {replaced("sram 0xF0  0C", "sram 0xF0  100"), "standard input:18: bad byte \"100\" (two hexadecimal digits)"},
        {replaced("sram 0xF0  0C 00 00 00 00 01 00 00 00", "sram 0xF0  0C 00 00 00 00 01 00 00 FF"),
         "standard input:18: register 0xF8 of the DS4510 has no SRAM byte"},
        {replaced("eeprom 0x80  00", "eeprom 0x80  FF"),
         "standard input:27: register 0x80 of the DS4510 has no EEPROM byte"},
        {replaced("eeprom 0xF0  00 00 00 00 00 01 00 00 00 00", "eeprom 0xF0  00 00 00 00 00 01 00 00 00 10"),
         "standard input:34: the DS4510 comes up with SEE (bit 0x10 of 0xF9) clear"},
        {replaced("sram 0xF0", "sram 0xE0"), "standard input:18: a second or misplaced line \"sram 0xE0\""},
        {replaced("sram 0xF0", "sram 0x08"), "standard input:18: a second or misplaced line \"sram 0x08\""},
        {replaced("eeprom 0x00  00 ", "eeprom 0x00  "), "standard input:19: unexpected line \"eeprom ...\" (chip "
                                                     "<type>, sram|eeprom <address> and 16 bytes, or writes and 32 "
                                                     "counts, each once)"},
        {replaced("\nwrites", "\n#writes"), "standard input: incomplete: a dump has a chip line, 16 sram and 16 "
                                           "eeprom lines and a writes line"},
        {text + "writes" + text.substr(text.rfind(" 0 ")), "standard input:36: unexpected line \"writes ...\" (chip "
                                                           "<type>, sram|eeprom <address> and 16 bytes, or writes "
                                                           "and 32 counts, each once)"},
        {replaced("\nwrites 0", "\nwrites 4294967296"), "standard input:35: bad number \"4294967296\""},
        {std::string(1024 * 1024 + 1, '#'), "standard input: larger than 1 MiB"},
    };
    for (const auto& [input, message] : refusals) {
        const CommandRun result = run({"load", "0", "IOS1"}, fresh, input);
        EXPECT_EQ(result.status, kExitFailure) << message;
        EXPECT_EQ(result.errors, "vexa-sim: " + message + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(other.read("state"), stateBefore);
}

// Levels set from outside stay in the state for the next process, until reset; a
// configuration change of another pin's level still applies.
TEST(SimCommand, LevelsAndDipSwitchesDriveTheLinesUntilReset) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(kTwoBoards);
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF0", "0x0F"}, environment).status, kExitOk); // all pulled up
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, environment).out, "0x0F\n");
    CommandRun done = run({"level", "0", "IOS1", "0", "low"}, environment);
    EXPECT_EQ(done.status, kExitOk) << done.errors;
    EXPECT_EQ(done.out, "Board 0 IOS1 pin 0: low from outside.\n");
    done = run({"dip-switch", "0", "B", "off"}, environment);
    EXPECT_EQ(done.status, kExitOk) << done.errors;
    EXPECT_EQ(done.out, "Board 0 Port B dip-switch off: IOS1 pin 2 low.\n");
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, environment).out, "0x0A\n");
    EXPECT_EQ(run({"dip-switch", "0", "A", "on"}, environment).out, "Board 0 Port A dip-switch on: IOS1 pin 3 high.\n");
    EXPECT_EQ(run({"level", "0", "IOS0", "8", "high"}, environment).status, kExitOk);
    EXPECT_TRUE(contains(run({"show", "0"}, environment).out, "    8    released    high      high\n"));
    // Released pins follow: pin 0 floats again, pin 3 stays high from its dip-switch.
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF0", "0x00"}, environment).status, kExitOk);
    EXPECT_EQ(run({"level", "0", "IOS1", "0", "float"}, environment).status, kExitOk);
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, environment).out, "0x08\n");
    // A configured level of a pin nobody set from outside still applies.
    std::string withExternal = kTwoBoards;
    withExternal.insert(withExternal.find("board 1"), "external 1 high\n");
    SimEnvironment changed = environment;
    changed.configPath = folder.write("changed.conf", withExternal);
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, changed).out, "0x0A\n");

    // Nothing changes on a read-only state.
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_read);
    EXPECT_EQ(run({"dip-switch", "0", "A", "off"}, environment).status, kExitFailure);
    EXPECT_EQ(run({"level", "0", "IOS1", "3", "low"}, environment).status, kExitFailure);
    std::filesystem::permissions(folder.file("state"), std::filesystem::perms::owner_all);
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, environment).out, "0x08\n");
    EXPECT_EQ(run({"reset"}, environment).status, kExitOk);
    EXPECT_EQ(run({"set", "0", "IOS1", "0xF0", "0x0F"}, environment).status, kExitOk);
    EXPECT_EQ(run({"get", "0", "IOS1", "0xF8"}, environment).out, "0x0F\n");
}

// A configured endurance holds across processes and power cycles; show marks the page.
TEST(SimCommand, AWornOutPageStaysWornOut) {
    const TempDir folder;
    const SimEnvironment environment = folder.environment(
        "write-cycle-ms 0\nboard 0 type 0x752\nexpander 0 IOS0 DS4520 endurance 1 floating high\n");
    ASSERT_EQ(run({"set", "0", "IOS0", "0x00", "1"}, environment).status, kExitOk);
    ASSERT_EQ(run({"set", "0", "IOS0", "0x00", "2"}, environment).status, kExitOk);
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, environment).out, "0x01\n");
    ASSERT_EQ(run({"power-cycle", "0"}, environment).status, kExitOk);
    EXPECT_EQ(run({"get", "0", "IOS0", "0x00"}, environment).out, "0x01\n");
    const std::string shown = run({"show"}, environment).out;
    EXPECT_TRUE(contains(shown, "  IOS0: DS4520 at bus address 0xA0, pages wear out after 1 writes, floating lines "
                                "read high\n"))
        << shown;
    EXPECT_TRUE(contains(shown, "(rated 50000): 0x00-0x07: 2 (worn out)\n")) << shown;
    EXPECT_EQ(run({"get", "0", "IOS0", "0xF8"}, environment).out, "0xFF\n") << "released lines floating high";
    const std::string json = run({"show", "--json"}, environment).out;
    EXPECT_TRUE(contains(json, "\"endurance\": 1,\n")) << json;
    EXPECT_TRUE(contains(json, "\"floating\": \"high\",\n")) << json;
}

// The JSON form, read back by a JSON parser: every member of the documented schema, with
// the values that set and show agree on.
TEST(SimCommand, ShowJsonParsesAndCarriesTheState) {
    namespace pt = boost::property_tree;
    const TempDir folder;
    SimEnvironment environment = folder.environment(kTwoBoards);
#ifndef _WIN32
    environment.statePath = folder.file("a \"quoted\"\\ and\ttabbed state"); // must come out escaped
#endif
    ASSERT_EQ(run({"set", "0", "IOS1", "0xF0", "0x05"}, environment).status, kExitOk);
    ASSERT_EQ(run({"set", "0", "IOS1", "0x08", "0x2A"}, environment).status, kExitOk);
    ASSERT_EQ(run({"dip-switch", "0", "A", "off"}, environment).status, kExitOk);
    const auto parsed = [&](const std::vector<std::string>& arguments) {
        const CommandRun result = run(arguments, environment);
        EXPECT_EQ(result.status, kExitOk) << result.errors;
        std::istringstream text(result.out);
        pt::ptree tree;
        pt::read_json(text, tree);
        return tree;
    };
    const pt::ptree all = parsed({"show", "--json"});
    EXPECT_EQ(all.get<int>("version"), 1);
    EXPECT_EQ(all.get<std::string>("configuration"), environment.configPath);
    EXPECT_EQ(all.get<std::string>("state"), environment.statePath);
    EXPECT_EQ(all.get<int>("slots"), 2);
    EXPECT_EQ(all.get<int>("write_cycle_ms"), 0);
    EXPECT_EQ(all.get<int>("rated_page_writes"), 50000);
    std::vector<int> indices;
    for (const auto& board : all.get_child("boards")) {
        indices.push_back(board.second.get<int>("index"));
    }
    EXPECT_EQ(indices, (std::vector<int>{0, 1}));

    const pt::ptree one = parsed({"show", "--json", "0"});
    ASSERT_EQ(one.get_child("boards").size(), 1u);
    const pt::ptree& board = one.get_child("boards").front().second;
    EXPECT_EQ(board.get<int>("type"), 0x752);
    std::vector<std::string> switches;
    for (const auto& dipSwitch : board.get_child("dip_switches")) {
        switches.push_back(dipSwitch.second.get<std::string>("port") + dipSwitch.second.get<std::string>("pin") + " " +
                           dipSwitch.second.get<std::string>("position"));
    }
    EXPECT_EQ(switches, (std::vector<std::string>{"A3 off", "B2 null"}));
    EXPECT_EQ(std::next(all.get_child("boards").begin())->second.get_child("dip_switches").size(), 0u);
    const pt::ptree& expanders = board.get_child("expanders");
    ASSERT_EQ(expanders.size(), 2u);
    const pt::ptree& ds4510 = std::next(expanders.begin())->second;
    EXPECT_EQ(ds4510.get<std::string>("bus"), "IOS1");
    EXPECT_EQ(ds4510.get<std::string>("chip"), "DS4510");
    EXPECT_EQ(ds4510.get<int>("bus_address"), 0xA2);
    EXPECT_EQ(ds4510.get<bool>("absent"), false);
    const pt::ptree& pullUp = ds4510.get_child("registers").front().second;
    EXPECT_EQ(pullUp.get<int>("address"), 0xF0);
    EXPECT_EQ(pullUp.get<std::string>("name"), "pull-up enable");
    EXPECT_EQ(pullUp.get<int>("value"), 5);
    EXPECT_EQ(pullUp.get<int>("eeprom"), 5);
    const pt::ptree& configuration = std::next(ds4510.get_child("registers").begin(), 9)->second;
    EXPECT_EQ(configuration.get<std::string>("name"), "configuration");
    EXPECT_EQ(configuration.get<std::string>("eeprom"), "null");
    std::vector<int> user;
    for (const auto& byte : ds4510.get_child("user_eeprom")) {
        user.push_back(byte.second.get_value<int>());
    }
    ASSERT_EQ(user.size(), 64u);
    EXPECT_EQ(user[8], 0x2A);
    std::vector<int> writes;
    for (const auto& count : ds4510.get_child("page_writes")) {
        writes.push_back(count.second.get_value<int>());
    }
    ASSERT_EQ(writes.size(), 32u);
    EXPECT_EQ(writes[1], 1);
    EXPECT_EQ(writes[30], 1);
    const pt::ptree& pins = ds4510.get_child("pins");
    ASSERT_EQ(pins.size(), 4u);
    const pt::ptree& pin2 = std::next(pins.begin(), 2)->second;
    EXPECT_EQ(pin2.get<int>("pin"), 2);
    EXPECT_EQ(pin2.get<std::string>("setting"), "pulled-up");
    EXPECT_EQ(pin2.get<std::string>("external"), "floating");
    EXPECT_EQ(pin2.get<std::string>("level"), "high");

    // The text form takes the board too.
    const std::string text = run({"show", "1"}, environment).out;
    EXPECT_TRUE(contains(text, "Board 1: type 0xB63")) << text;
    EXPECT_FALSE(contains(text, "Board 0:")) << text;
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"show", "2"}, {"show", "--json", "x"}, {"show", "0", "1"}, {"show", "--xml"}}) {
        EXPECT_EQ(run(arguments, environment).status, kExitUsage) << arguments.back();
    }
}

} // namespace
} // namespace vexa::sim
