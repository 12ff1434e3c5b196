// Finding and loading the hardware library: installations staged in the sandbox, with
// the tool in a bin folder beside a library (or none, or a broken one), or elsewhere
// with the installation named by VEXADIR5_64 or VEXADIR5.

#include "Cases.h"

#include <cstring>

#include <elf.h>

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

// The dynamic loader a Linux program names in its PT_INTERP header; empty when none.
std::string interpreterOf(const fs::path& program) {
    const std::string bytes = fileText(program);
    Elf64_Ehdr header{};
    if (bytes.size() < sizeof header) {
        return {};
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    for (std::size_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment{};
        const std::size_t at = header.e_phoff + i * sizeof segment;
        if (at + sizeof segment > bytes.size()) {
            return {};
        }
        std::memcpy(&segment, bytes.data() + at, sizeof segment);
        if (segment.p_type == PT_INTERP && segment.p_offset + segment.p_filesz <= bytes.size()) {
            return std::string(bytes.c_str() + segment.p_offset); // NUL-terminated in the file
        }
    }
    return {};
}

// "ld.so vexa-gpio ...": the installation is still found beside the tool, not the loader.
TEST(Loader, FindsTheInstallationOfAToolStartedThroughTheDynamicLoader) {
    if (platform().windows || !platform().valgrind.empty()) {
        GTEST_SKIP() << "a Linux program started by its dynamic loader itself, not under Wine or valgrind";
    }
    Sandbox sandbox;
    const fs::path tool = sandbox.stageTool("install/bin", Library::Full);
    Invocation run;
    run.config = kMachine;
    run.program = interpreterOf(tool);
    ASSERT_FALSE(run.program.empty()) << tool << " names no dynamic loader";
    // A relative name, as a user in the tool's folder types it.
    run.arguments = {fs::relative(tool, sandbox.root()).string(), "-board", "2"};
    expectOutcome(runTool(sandbox, run), kBoard2Used, run.program);
}

} // namespace
} // namespace vexa::e2e
