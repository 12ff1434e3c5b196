#pragma once
// One table row of the end-to-end suite: a command line run against a simulated
// machine, and everything the run must do. The tables instantiate ToolRun with
// INSTANTIATE_TEST_SUITE_P(<group>, ToolRun, testing::ValuesIn(<table>), caseName).

#include "Harness.h"
#include "LibraryCalls.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vexa::e2e {

using Environment = std::vector<std::pair<std::string, std::string>>;

// A row's last field: the tool is started with SIGPIPE blocked.
constexpr bool kPipeSignalBlocked = true;

struct Case {
    Case(std::string name_, std::vector<std::string> arguments_, std::string config_, Expected expected_,
         Environment environment_ = {}, Sink out_ = Sink::Pipe, Sink err_ = Sink::Pipe,
         bool pipeSignalBlocked_ = false)
        : name(std::move(name_)), arguments(std::move(arguments_)), config(std::move(config_)),
          expected(std::move(expected_)), environment(std::move(environment_)), out(out_), err(err_),
          pipeSignalBlocked(pipeSignalBlocked_) {}

    std::string name; // letters, digits and '_' only: it names the test
    std::vector<std::string> arguments;
    std::string config; // the simulated machine
    Expected expected;
    Environment environment; // further variables for the tool
    Sink out;                // where the tool's standard output and error go
    Sink err;
    bool pipeSignalBlocked;
};

void PrintTo(const Case& row, std::ostream* stream);
std::string caseName(const testing::TestParamInfo<Case>& info);

class ToolRun : public testing::TestWithParam<Case> {};

// The machine of support/Machine.h with six slots, each holding a board.
extern const char kMachine[];
constexpr int kSlots = 6;
// The library calls of building board n of kMachine as it is when new, and of
// releasing it; the layout tests spell these blocks out.
Lines constructBoard(int board);
Lines releaseBoard(int board);

// The exit status of a run that the reader of its output left: that of a process
// ended by SIGPIPE. Under Wine, a run without SIGPIPE fails like any lost output.
constexpr int kReaderGone = 128 + 13;

// Texts of the tool's output.
std::string failure(const std::string& message); // the "Exception caught: " line
extern const char kWarning[];                    // the report's warning line
extern const char kUsage[];                      // the usage text, "@PROGRAM@" for the path
// The report block of a bank whose three pins are released and read low.
std::string unsetBank(int number, const char* name);

// The loader's trace (VEXA_GPIO_TRACE). Its lines start with "vexa-gpio: "; in an
// expected line, a "*" at the end stands for any text, such as a system's message.
constexpr const char kTracePrefix[] = "vexa-gpio: ";
// Takes the trace's lines out of standard error, line ends removed, and leaves the rest.
std::vector<std::string> takeTraceLines(std::string& err);
// The lines of one step: those that go on with `step` after the prefix.
std::vector<std::string> stepLines(const std::vector<std::string>& lines, const std::string& step);
// The entry-point lines of a loaded library that lacks `missing` (one name or none).
std::vector<std::string> entryPointLines(const std::string& missing = "");
void expectTraceLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

} // namespace vexa::e2e
