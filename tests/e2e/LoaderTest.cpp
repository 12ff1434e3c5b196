// Finding and loading the hardware library: installations staged in the sandbox, with
// the tool in a bin folder beside a library (or none, or a broken one), or elsewhere
// with the installation named by VEXADIR5_64 or VEXADIR5.

#include "Cases.h"

namespace vexa::e2e {
namespace {

struct LoaderCase {
    std::string name;
    std::string toolFolder; // "install/bin" finds the installation through its own location
    Library library;        // what the tool's folder holds as the hardware library
    // "@SANDBOX@" stands for the sandbox folder and "@SEP@" for the platform's path
    // separator; <sandbox>/install always holds an installation with the full library.
    Environment environment;
    std::vector<std::string> arguments;
    Expected expected;
};

void PrintTo(const LoaderCase& row, std::ostream* stream) {
    *stream << row.name;
}

class Loader : public testing::TestWithParam<LoaderCase> {};

std::string expand(std::string text, const Sandbox& sandbox) {
    const std::pair<std::string, std::string> placeholders[] = {
        {"@SANDBOX@", platform().environmentPath(sandbox.root())},
        {"@SEP@", std::string(1, platform().separator())},
    };
    for (const auto& [placeholder, value] : placeholders) {
        for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
            text.replace(at, placeholder.size(), value);
        }
    }
    return text;
}

TEST_P(Loader, FindsTheLibraryOrRefusesEveryBoard) {
    const LoaderCase& row = GetParam();
    if (row.library == Library::Unresolved && platform().windows) {
        GTEST_SKIP() << "Windows binds a DLL's imports at load; Wine even stubs a missing one";
    }
    Sandbox sandbox;
    Invocation run;
    run.config = kMachine;
    run.arguments = row.arguments;
    run.program = sandbox.stageTool(row.toolFolder, row.library);
    if (row.toolFolder != "install/bin") {
        sandbox.stageTool("install/bin", Library::Full);
    }
    for (const auto& [name, value] : row.environment) {
        run.environment.emplace_back(name, expand(value, sandbox));
    }
    expectOutcome(runTool(sandbox, run), row.expected, run.program);
}

const std::string kInvalidIndex = failure("Invalid board index");
// Without a library the tool makes no library call at all.
const Expected kNoLibrary = {"", kInvalidIndex, 1, {}};
const Expected kBoard2Used = {"Done.\n", "", 0, maxDevices(kSlots) + constructBoard(2) + releaseBoard(2)};
const std::vector<std::string> kUseBoard2 = {"-board", "2"};

const LoaderCase kLoaderCases[] = {
    {"no_installation_directory", "elsewhere", Library::Missing, {}, kUseBoard2, kNoLibrary},
    {"no_library", "install/bin", Library::Missing, {}, kUseBoard2, kNoLibrary},
    {"file_that_is_not_a_library", "install/bin", Library::NotALibrary, {}, kUseBoard2, kNoLibrary},
    {"library_without_write",
     "install/bin",
     Library::NoWrite,
     {},
     {"-board", "2", "-get", "-set", "0:default"},
     {"Board 2 is a Vexa Osprey B63\n" + unsetBank(0, "Front GPIO"), kWarning + failure("Failed to write register"), 1,
      maxDevices(kSlots) + constructBoard(2) + report(2, 0xB63) + releaseBoard(2)}},
    // Bound at load, not at its first use, which would end the run mid-way.
    {"library_with_an_unresolved_symbol", "install/bin", Library::Unresolved, {}, kUseBoard2, kNoLibrary},
    {"library_without_init",
     "install/bin",
     Library::NoInit,
     {},
     kUseBoard2,
     {"", failure("Failed to open board"), 1, maxDevices(kSlots)}},

    {"own_location_wins_over_the_environment",
     "install/bin",
     Library::Full,
     {{"VEXADIR5_64", "@SANDBOX@/nowhere"}, {"VEXADIR5", "@SANDBOX@/nowhere"}},
     kUseBoard2,
     kBoard2Used},
    {"VEXADIR5_64", "elsewhere", Library::Missing, {{"VEXADIR5_64", "@SANDBOX@/install"}}, kUseBoard2, kBoard2Used},
    {"VEXADIR5", "elsewhere", Library::Missing, {{"VEXADIR5", "@SANDBOX@/install"}}, kUseBoard2, kBoard2Used},
    {"VEXADIR5_64_wins_over_VEXADIR5",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/nowhere"}, {"VEXADIR5", "@SANDBOX@/install"}},
     kUseBoard2,
     kNoLibrary},
    {"empty_VEXADIR5_64_wins_over_VEXADIR5",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", ""}, {"VEXADIR5", "@SANDBOX@/install"}},
     kUseBoard2,
     kNoLibrary},
    {"trailing_separators_dropped",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install@SEP@@SEP@"}},
     kUseBoard2,
     kBoard2Used},
    {"directory_of_2000_characters",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install/" + std::string(2000, 'd')}},
     kUseBoard2,
     kNoLibrary},
};

std::string loaderCaseName(const testing::TestParamInfo<LoaderCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Installation, Loader, testing::ValuesIn(kLoaderCases), loaderCaseName);

} // namespace
} // namespace vexa::e2e
