// Finding and loading the hardware library: installations staged in the sandbox, with
// the tool in a bin folder beside a library (or none, or a broken one), or elsewhere
// with the installation named by VEXADIR5_64 or VEXADIR5. A library that imports one
// of its own gets it from its own folder, never from the one the tool started in.

#include "Cases.h"

namespace vexa::e2e {
namespace {

// A copy of the dependent stand-in's import, genuine or the impostor, in a folder of
// the sandbox ("" is the sandbox itself, the runs' current directory).
struct PlacedDependency {
    std::string folder;
    bool impostor;
};

struct LoaderCase {
    std::string name;
    std::string toolFolder; // "install/bin" finds the installation through its own location
    Library library;        // what the tool's folder holds as the hardware library
    // "@SANDBOX@" stands for the sandbox folder and "@SEP@" for the platform's path
    // separator; <sandbox>/install always holds an installation.
    Environment environment;
    std::vector<std::string> arguments;
    Expected expected;
    Library installed = Library::Full; // the installation's library when the tool is elsewhere
    std::vector<PlacedDependency> dependencies = {};
    std::string installation = "install"; // the installation's folder in the sandbox
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
    Sandbox sandbox;
    Invocation run;
    run.config = kMachine;
    run.arguments = row.arguments;
    run.program = sandbox.stageTool(row.toolFolder, row.library);
    if (row.toolFolder != row.installation + "/bin") {
        sandbox.stageTool(row.installation + "/bin", row.installed);
    }
    for (const PlacedDependency& placed : row.dependencies) {
        const fs::path folder = sandbox.path(placed.folder);
        fs::create_directories(folder);
        const std::string build = placed.impostor ? "vexa_test_dependency_impostor" : "vexa_test_dependency";
        fs::copy_file(platform().bin / platform().libraryFile(build),
                      folder / platform().libraryFile("vexa_test_dependency"));
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
    {"import_from_the_library_folder_not_the_current_one",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install"}},
     kUseBoard2,
     kBoard2Used,
     Library::Dependent,
     {{"install/bin", false}, {"", true}}},
    // Windows hands the A functions a path with '?' for every character outside the
    // code page they use: the tool's manifest makes that UTF-8.
    {"own_location_outside_the_ANSI_code_page", "\u03A9mega/bin", Library::Full, {}, kUseBoard2, kBoard2Used},
    {"VEXADIR5_64_outside_the_ANSI_code_page",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/\u03A9mega"}},
     kUseBoard2,
     kBoard2Used,
     Library::Full,
     {},
     "\u03A9mega"},
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
