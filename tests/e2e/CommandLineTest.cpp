// The command line: options, their arguments, every message of the argument loop,
// the order in which boards are opened and released, and the exit status.

#include "Cases.h"

#include "support/Text.h"

namespace vexa::e2e {
namespace {

const Lines kStart = maxDevices(kSlots);

const std::string kUnknownOption = failure("Unknown option");
const std::string kMissingArgument = failure("Missing argument for option");
const std::string kInvalidIndex = failure("Invalid board index");
const std::string kOutputLost = failure("Failed to write standard output");

const Case kCommandLineCases[] = {
    {"no_arguments", {}, kMachine, {"Done.\n", "", 0, kStart}},
    {"help", {"-help"}, kMachine, {std::string(kUsage) + "Done.\n", "", 0, kStart}},
    {"help_with_two_minus_signs", {"--help"}, kMachine, {std::string(kUsage) + "Done.\n", "", 0, kStart}},
    {"help_in_upper_case", {"-HELP"}, kMachine, {"", kUnknownOption, 1, kStart}},
    {"help_abbreviated", {"-he"}, kMachine, {"", kUnknownOption, 1, kStart}},
    {"help_with_three_minus_signs", {"---help"}, kMachine, {"", kUnknownOption, 1, kStart}},
    {"help_does_not_end_the_run", {"-h", "get"}, kMachine, {kUsage, kUnknownOption, 1, kStart}},

    {"board_as_last_argument", {"-board"}, kMachine, {"", kMissingArgument, 1, kStart}},
    {"board_with_negative_index", {"-board", "-1"}, kMachine, {"", kMissingArgument, 1, kStart}},
    {"board_with_empty_argument", {"-board", ""}, kMachine, {"", kMissingArgument, 1, kStart}},
    {"board_index_beyond_32_bits", {"-board", "99999999999"}, kMachine, {"", kInvalidIndex, 1, kStart}},
    // A blank before the sign lets a negative number through as the argument.
    {"board_with_blank_and_negative_index", {"-board", " -1"}, kMachine, {"", kInvalidIndex, 1, kStart}},
    {"board_with_negative_index_beyond_32_bits",
     {"-board", "\t-4294967295"},
     kMachine,
     {"", kInvalidIndex, 1, kStart}},
    {"board_index_equal_to_slot_count", {"-b", "6"}, kMachine, {"", kInvalidIndex, 1, kStart}},
    {"board_abc_is_board_0",
     {"-board", "abc"},
     kMachine,
     {"Done.\n", "", 0, kStart + constructBoard(0) + releaseBoard(0)}},
    {"double_minus_short_forms",
     {"--b", "2", "--g"},
     kMachine,
     {"Board 2 is a Vexa Osprey B63\n" + unsetBank(0, "Front GPIO") + "Done.\n", kWarning, 0,
      kStart + constructBoard(2) + report(2, 0xB63) + releaseBoard(2)}},

    // Each board is released, inventory first, before the next one is opened, and
    // every board opened is closed exactly once, whatever ends the run.
    {"second_board_replaces_the_first",
     {"-board", "0", "-board", "1"},
     kMachine,
     {"Done.\n", "", 0, kStart + constructBoard(0) + releaseBoard(0) + constructBoard(1) + releaseBoard(1)}},
    {"invalid_index_keeps_the_current_board",
     {"-board", "0", "-board", "7"},
     kMachine,
     {"", kInvalidIndex, 1, kStart + constructBoard(0) + releaseBoard(0)}},
    {"force_does_not_take_an_argument",
     {"-board", "2", "-force", "1"},
     kMachine,
     {"", kUnknownOption, 1, kStart + constructBoard(2) + releaseBoard(2)}},
    {"failed_open_after_releasing_the_first_board",
     {"-board", "0", "-board", "1"},
     "write-cycle-ms 0\n"
     "board 0 type 0x752\n"
     "expander 0 IOS0 DS4520\n"
     "expander 0 IOS1 DS4510\n"
     "board 1 type 0x752 fail-open\n",
     {"", failure("Failed to open board"), 1, maxDevices(2) + constructBoard(0) + releaseBoard(0) + openFails(1)}},
    {"unsupported_board_is_still_closed",
     {"-board", "3", "-get"},
     kMachine,
     {"", failure("Board is not supported"), 1, kStart + selectBoard(3, 0x754) + closeBoard(3)}},

    // The library's answers that the tool must not trust or need not look at.
    {"slot_count_unavailable",
     {"-board", "0"},
     kMachine,
     {"", kInvalidIndex, 1, {"VHalGetMaxDevices() = -4"}},
     {{"VEXA_SIM_FAIL_CALL", "1"}}},
    {"failed_close_is_ignored",
     {"-board", "2"},
     kMachine,
     {"Done.\n", "", 0, kStart + constructBoard(2) + Lines{"VHalFreeDevice(board2) = -4"}},
     {{"VEXA_SIM_FAIL_CALL", "12"}}},

    // Output that cannot be written ends the run as a failure at the first line, and
    // nothing after it is carried out; what was written to the chips stays.
    {"help_to_a_full_device", {"-help"}, kMachine, {"", kOutputLost, 1, kStart}, {}, Sink::FullDevice},
    {"report_to_a_full_device",
     {"-board", "0", "-get"},
     kMachine,
     {"", kOutputLost, 1, kStart + constructBoard(0) + report(0, 0x752) + releaseBoard(0)},
     {},
     Sink::FullDevice},
    {"set_then_report_to_a_full_device",
     {"-board", "0", "-set", "0:default", "-get", "-set", "1:ds,pu,ni"},
     kMachine,
     {"", kOutputLost, 1,
      kStart + constructBoard(0) + writeDS4520(0, "04 00 FC 01") + writeDS4510(0, "00", "01 01 01 01") +
          readDS4520(0, "04 00 FC 01 04 00 00") + readDS4510(0, kNewDS4510) + report(0, 0x752) + releaseBoard(0)},
     {},
     Sink::FullDevice},
    {"report_to_a_closed_output",
     {"-board", "0", "-get"},
     kMachine,
     {"", kOutputLost, 1, kStart + constructBoard(0) + report(0, 0x752) + releaseBoard(0)},
     {},
     Sink::Closed},
    {"failure_with_a_closed_error_stream", {"-get"}, kMachine, {"", "", 1, kStart}, {}, Sink::Pipe, Sink::Closed},

    // A reader that has gone stops the run at the first line as well, and only then,
    // with the board released, does the tool end as by SIGPIPE. Standard error is
    // never a reason to stop.
    {"set_after_a_report_to_a_reader_that_is_gone",
     {"-board", "0", "-get", "-set", "0:default"},
     kMachine,
     {"", "", kReaderGone, kStart + constructBoard(0) + report(0, 0x752) + releaseBoard(0)},
     {},
     Sink::DeadPipe},
    // Shells and runners may start the tool with SIGPIPE blocked: it must still end by it.
    {"reader_gone_for_a_caller_that_blocks_sigpipe",
     {"-board", "0", "-get"},
     kMachine,
     {"", "", kReaderGone, kStart + constructBoard(0) + report(0, 0x752) + releaseBoard(0)},
     {},
     Sink::DeadPipe,
     Sink::Pipe,
     kPipeSignalBlocked},
    {"warning_and_failure_to_an_error_reader_that_is_gone",
     {"-board", "2", "-get", "-board", "9"},
     kMachine,
     {"Board 2 is a Vexa Osprey B63\n" + unsetBank(0, "Front GPIO"), "", 1,
      kStart + constructBoard(2) + report(2, 0xB63) + releaseBoard(2)},
     {},
     Sink::Pipe,
     Sink::DeadPipe},

    {"get_without_board", {"-get"}, kMachine, {"", failure("No board selected"), 1, kStart}},
    {"set_without_board_is_refused_before_its_argument",
     {"-set"},
     kMachine,
     {"", failure("No board selected"), 1, kStart}},
    {"set_without_argument",
     {"-board", "2", "-set", "-get"},
     kMachine,
     {"", kMissingArgument, 1, kStart + constructBoard(2) + releaseBoard(2)}},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, ToolRun, testing::ValuesIn(kCommandLineCases), caseName);

// Output to a file that reaches the file-size limit (ulimit -f) fails like any lost
// output: the limit's signal must not end the run before the board is released, and
// the file keeps all that fitted. The limit holds for the simulator's files as well,
// so the usage text fills the file, adding nothing to them.
TEST(FileSizeLimit, EndsTheRunAsAFailureThatReleasesTheBoard) {
    if (platform().windows) {
        GTEST_SKIP() << "a file-size limit that signals the process is Linux's";
    }
    Sandbox sandbox;
    Invocation run;
    run.arguments = {"-board", "0", "-help", "-help", "-help"};
    run.config = kMachine;
    const std::string whole = runTool(sandbox, run).process.out;
    constexpr std::size_t kLimit = 2048; // ulimit -f counts blocks of 512 bytes
    ASSERT_GT(whole.size(), kLimit) << "the output does not reach the limit";
    run.launcher = {"/bin/sh", "-c", "ulimit -f 4 && exec \"$@\" >out.txt", "sh"};
    expectOutcome(runTool(sandbox, run), {"", kOutputLost, 1, kStart + constructBoard(0) + releaseBoard(0)},
                  builtTool());
    EXPECT_EQ(whole.substr(0, kLimit), fileText(sandbox.path("out.txt")));
}

// A reader that leaves while the report is written stops the run wherever it happens
// to be; many runs, so that every place is met, and each must release the board. The
// front bank's warning comes after its lines, so it is there whenever the reader left
// after them, and always when the whole report was read.
TEST(ReaderThatQuits, NeverKeepsTheBoardFromBeingReleased) {
    const int stopped = platform().windows ? 1 : kReaderGone;
    const std::string warning = platform().lineEnds(kWarning);
    const std::string stoppedMessage = platform().windows ? platform().lineEnds(kOutputLost) : "";
    const Lines trace = kStart + constructBoard(0) + report(0, 0x752) + releaseBoard(0);
    for (int attempt = 0; attempt < (platform().slow() ? 5 : 50); ++attempt) {
        Sandbox sandbox;
        Invocation run;
        run.arguments = {"-board", "0", "-get"};
        run.config = kMachine;
        run.out = Sink::ReaderQuits;
        const Outcome outcome = runTool(sandbox, run);
        const int status = exitStatus(outcome.process);
        const std::string& err = outcome.process.err;
        ASSERT_TRUE(status == 0 || status == stopped) << "run " << attempt << ": exit status " << status;
        if (status == 0) {
            EXPECT_EQ(warning, err) << "run " << attempt;
        } else {
            EXPECT_TRUE(err == stoppedMessage || err == warning + stoppedMessage) << "run " << attempt << ": " << err;
        }
        if (status == kReaderGone) {
            EXPECT_EQ(13, outcome.process.signal) << "run " << attempt << ": not ended by SIGPIPE";
        }
        ASSERT_EQ(test::linesText(trace), test::linesText(outcome.trace)) << "run " << attempt;
    }
}

} // namespace
} // namespace vexa::e2e
