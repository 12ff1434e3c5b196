// Finding and loading the hardware library: installations staged in the sandbox, with
// the tool in a bin folder beside a library (or none, or a broken one), or elsewhere
// with the installation named by VEXADIR5_64 or VEXADIR5. A library that imports one
// of its own, or loads it by name when it runs, gets it from its own folder (on Windows
// also from the tool's), never from the one the tool started in.

#include "Cases.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // The loader trace of the same run with VEXA_GPIO_TRACE=1, which must print it on
    // standard error and change nothing else; empty: not run with the trace. The
    // placeholders of `environment`, "@ROOT@" for the sandbox as the tool sees its own
    // path, "@TOOL@" and "@HAL@" for the file names, and "@OUTER@" alone on a line for
    // the walk through the sandbox's own folders.
    std::vector<std::string> trace = {};
    Library installed = Library::Full; // the installation's library when the tool is elsewhere
    std::vector<PlacedDependency> dependencies = {};
    std::string installation = "install"; // the installation's folder in the sandbox
    std::optional<Expected> onWindows = {}; // where Windows' DLL search gives another outcome
};

void PrintTo(const LoaderCase& row, std::ostream* stream) {
    *stream << row.name;
}

class Loader : public testing::TestWithParam<LoaderCase> {};

std::string expand(std::string text, const Sandbox& sandbox) {
    const std::pair<std::string, std::string> placeholders[] = {
        {"@SANDBOX@", platform().environmentPath(sandbox.root())},
        {"@ROOT@", platform().programPath(sandbox.root())},
        {"@SEP@", std::string(1, platform().separator())},
        {"@TOOL@", platform().toolFile()},
        {"@HAL@", platform().halFile()},
    };
    for (const auto& [placeholder, value] : placeholders) {
        for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
            text.replace(at, placeholder.size(), value);
        }
    }
    return text;
}

// The walk from a tool outside any installation passes the sandbox's own folders,
// innermost first; the first component (the root, or a drive) is never compared.
std::vector<std::string> outerFolderLines(const Sandbox& sandbox) {
    const std::string root = platform().programPath(sandbox.root());
    std::vector<std::string> names;
    for (std::size_t at = 0; at <= root.size();) {
        const std::size_t end = std::min(root.find(platform().separator(), at), root.size());
        names.push_back(root.substr(at, end - at));
        at = end + 1;
    }
    std::vector<std::string> lines;
    for (std::size_t i = names.size() - 1; i > 0; --i) {
        lines.push_back(std::string(kTracePrefix) + "folder " + names[i] + " does not match");
    }
    return lines;
}

std::vector<std::string> expandTrace(const std::vector<std::string>& lines, const Sandbox& sandbox) {
    std::vector<std::string> expanded;
    for (const std::string& line : lines) {
        if (line == "@OUTER@") {
            const std::vector<std::string> outer = outerFolderLines(sandbox);
            expanded.insert(expanded.end(), outer.begin(), outer.end());
        } else {
            expanded.push_back(expand(line, sandbox));
        }
    }
    return expanded;
}

TEST_P(Loader, FindsTheLibraryOrRefusesEveryBoard) {
    const LoaderCase& row = GetParam();
    if (row.library == Library::Unresolved && platform().windows) {
        GTEST_SKIP() << "Windows binds a DLL's imports at load; Wine even stubs a missing one";
    }
    if (row.installed == Library::RuntimeDependent && !platform().windows) {
        GTEST_SKIP() << "a Linux library's dlopen by name looks only where its RUNPATH says";
    }
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
    const Expected& expected = platform().windows && row.onWindows ? *row.onWindows : row.expected;
    expectOutcome(runTool(sandbox, run), expected, run.program);
    if (row.trace.empty()) {
        return;
    }
    run.environment.emplace_back("VEXA_GPIO_TRACE", "1");
    Outcome traced = runTool(sandbox, run);
    const std::vector<std::string> lines = takeTraceLines(traced.process.err);
    expectTraceLines(expandTrace(row.trace, sandbox), lines);
    expectOutcome(traced, expected, run.program);
}

const std::string kInvalidIndex = failure("Invalid board index");
// Without a library the tool makes no library call at all.
const Expected kNoLibrary = {"", kInvalidIndex, 1, {}};
const Expected kBoard2Used = {"Done.\n", "", 0, maxDevices(kSlots) + constructBoard(2) + releaseBoard(2)};
const std::vector<std::string> kUseBoard2 = {"-board", "2"};

// Lines of the loader trace.
std::vector<std::string> steps(std::initializer_list<std::string> lines) {
    std::vector<std::string> prefixed;
    for (const std::string& line : lines) {
        prefixed.push_back(line == "@OUTER@" ? line : kTracePrefix + line);
    }
    return prefixed;
}

// The tool in <sandbox>/install/bin: found by its own location.
const std::vector<std::string> kWalkToInstall =
    steps({"self @ROOT@@SEP@install@SEP@bin@SEP@@TOOL@", "folder bin matches", "directory @ROOT@@SEP@install",
           "library @ROOT@@SEP@install@SEP@bin@SEP@@HAL@"});
// The tool in <sandbox>/elsewhere: its own location gives no directory.
const std::vector<std::string> kWalkFromElsewhere =
    steps({"self @ROOT@@SEP@elsewhere@SEP@@TOOL@", "folder elsewhere does not match", "@OUTER@"});
const std::vector<std::string> kInstallFromEnvironment =
    steps({"directory @SANDBOX@/install", "library @SANDBOX@/install@SEP@bin@SEP@@HAL@", "load ok"}) +
    entryPointLines();
const std::vector<std::string> kLoadFailed = steps({"load failed: *"});

const LoaderCase kLoaderCases[] = {
    {"no_installation_directory", "elsewhere", Library::Missing, {}, kUseBoard2, kNoLibrary,
     kWalkFromElsewhere + steps({"env VEXADIR5_64 unset", "env VEXADIR5 unset", "directory none"})},
    {"no_library", "install/bin", Library::Missing, {}, kUseBoard2, kNoLibrary, kWalkToInstall + kLoadFailed},
    {"file_that_is_not_a_library", "install/bin", Library::NotALibrary, {}, kUseBoard2, kNoLibrary,
     kWalkToInstall + kLoadFailed},
    {"library_without_write",
     "install/bin",
     Library::NoWrite,
     {},
     {"-board", "2", "-get", "-set", "0:default"},
     {"Board 2 is a Vexa Osprey B63\n" + unsetBank(0, "Front GPIO"), kWarning + failure("Failed to write register"), 1,
      maxDevices(kSlots) + constructBoard(2) + report(2, 0xB63) + releaseBoard(2)},
     kWalkToInstall + steps({"load ok"}) + entryPointLines("VHalWriteConfig")},
    // Bound at load, not at its first use, which would end the run mid-way.
    {"library_with_an_unresolved_symbol", "install/bin", Library::Unresolved, {}, kUseBoard2, kNoLibrary,
     kWalkToInstall + kLoadFailed},
    {"library_without_init",
     "install/bin",
     Library::NoInit,
     {},
     kUseBoard2,
     {"", failure("Failed to open board"), 1, maxDevices(kSlots)},
     // The table stays unbound, so opening the board loads the library again.
     kWalkToInstall + steps({"load ok"}) + entryPointLines("VHalInitDevice") +
         steps({"directory @ROOT@@SEP@install", "library @ROOT@@SEP@install@SEP@bin@SEP@@HAL@", "load ok"}) +
         entryPointLines("VHalInitDevice")},

    {"own_location_wins_over_the_environment",
     "install/bin",
     Library::Full,
     {{"VEXADIR5_64", "@SANDBOX@/nowhere"}, {"VEXADIR5", "@SANDBOX@/nowhere"}},
     kUseBoard2,
     kBoard2Used,
     kWalkToInstall + steps({"load ok"}) + entryPointLines()},
    {"VEXADIR5_64", "elsewhere", Library::Missing, {{"VEXADIR5_64", "@SANDBOX@/install"}}, kUseBoard2, kBoard2Used,
     kWalkFromElsewhere + steps({"env VEXADIR5_64=\"@SANDBOX@/install\""}) + kInstallFromEnvironment},
    {"VEXADIR5", "elsewhere", Library::Missing, {{"VEXADIR5", "@SANDBOX@/install"}}, kUseBoard2, kBoard2Used,
     kWalkFromElsewhere + steps({"env VEXADIR5_64 unset", "env VEXADIR5=\"@SANDBOX@/install\""}) +
         kInstallFromEnvironment},
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
     {},
     Library::Dependent,
     {{"install/bin", false}, {"", true}}},
    // Windows takes a library's imports from the tool's folder too, never from the
    // current one; Linux only from the library's own folder.
    {"import_from_the_tool_folder_not_the_current_one",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install"}},
     kUseBoard2,
     kNoLibrary,
     {},
     Library::Dependent,
     {{"elsewhere", false}, {"", true}},
     "install",
     kBoard2Used},
    // A DLL of the library's folder that the library loads by name when it runs.
    {"run_time_load_from_the_library_folder_not_the_current_one",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install"}},
     kUseBoard2,
     kBoard2Used,
     {},
     Library::RuntimeDependent,
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
     {},
     Library::Full,
     {},
     "\u03A9mega"},
    // The trace keeps one step to a line: the line break is shown, not made.
    {"directory_with_a_line_break",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/two\nlines"}},
     kUseBoard2,
     kNoLibrary,
     kWalkFromElsewhere + steps({"env VEXADIR5_64=\"@SANDBOX@/two\\nlines\"", "directory @SANDBOX@/two\\nlines",
                                 "library @SANDBOX@/two\\nlines@SEP@bin@SEP@@HAL@"}) +
         kLoadFailed},
    // A variable's value in quotes, so that blanks at its ends show; control characters
    // and quotes escaped, so that none reaches a terminal or reads as the tool's own.
    {"directory_with_control_characters_quotes_and_a_trailing_blank",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/tab\there\x1b[0m \"q\" "}},
     kUseBoard2,
     kNoLibrary,
     kWalkFromElsewhere + steps({"env VEXADIR5_64=\"@SANDBOX@/tab\\there\\x1b[0m \\\"q\\\" \"",
                                 "directory @SANDBOX@/tab\\there\\x1b[0m \\\"q\\\" ",
                                 "library @SANDBOX@/tab\\there\\x1b[0m \\\"q\\\" @SEP@bin@SEP@@HAL@"}) +
         kLoadFailed},
    {"directory_of_2000_characters",
     "elsewhere",
     Library::Missing,
     {{"VEXADIR5_64", "@SANDBOX@/install/" + std::string(2000, 'd')}},
     kUseBoard2,
     kNoLibrary,
     // The variable whole, the directory cut to the buffer, and no library path.
     kWalkFromElsewhere +
         steps({"env VEXADIR5_64=\"@SANDBOX@/install/" + std::string(2000, 'd') + "\"",
                "directory @SANDBOX@/install/d*", "library does not fit in 1023 bytes"})},
};

std::string loaderCaseName(const testing::TestParamInfo<LoaderCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Installation, Loader, testing::ValuesIn(kLoaderCases), loaderCaseName);

// --- Where VEXA_GPIO_TRACE sends the trace ------------------------------------------

enum class TraceGoes { ToStandardError, ToFile, Nowhere };

struct TraceTargetCase {
    std::string name;
    // Stages what the case needs and gives the variable's value. The tool runs in the
    // sandbox; the file the trace may go to is <sandbox>/trace.log.
    std::function<std::string(const Sandbox&)> value;
    TraceGoes goes;
    // Rows about owners and links run on Linux only; giving a link to another user
    // takes root.
    enum class Needs { Nothing, Linux, LinuxRoot } needs = Needs::Nothing;
};

void PrintTo(const TraceTargetCase& row, std::ostream* stream) {
    *stream << row.name;
}

class TraceTarget : public testing::TestWithParam<TraceTargetCase> {};

TEST_P(TraceTarget, GetsTheTraceOrNothingAndTheRunIsUnchanged) {
    const TraceTargetCase& row = GetParam();
    if (row.needs != TraceTargetCase::Needs::Nothing && platform().windows) {
        GTEST_SKIP() << "owners and links are checked on Linux only";
    }
    if (row.needs == TraceTargetCase::Needs::LinuxRoot && geteuid() != 0) {
        GTEST_SKIP() << "only root can give a link to another user";
    }
    Sandbox sandbox;
    Invocation run;
    run.config = kMachine;
    run.arguments = kUseBoard2;
    run.program = sandbox.stageTool("install/bin", Library::Full);
    run.environment = {{"VEXA_GPIO_TRACE", row.value(sandbox)}};
    const fs::path file = sandbox.path("trace.log");
    const bool existed = fs::exists(file);
    const std::string before = fileText(file);
    Outcome outcome = runTool(sandbox, run);
    const std::vector<std::string> onStandardError = takeTraceLines(outcome.process.err);
    expectOutcome(outcome, kBoard2Used, run.program);
    const std::vector<std::string> trace = expandTrace(kWalkToInstall + steps({"load ok"}) + entryPointLines(), sandbox);
    if (row.goes == TraceGoes::ToStandardError) {
        expectTraceLines(trace, onStandardError);
    } else {
        EXPECT_EQ(std::vector<std::string>{}, onStandardError) << "trace on standard error";
    }
    if (row.goes == TraceGoes::ToFile) {
        std::string earlier = fileText(sandbox.path("earlier.log"));
        std::string text = fileText(file);
        expectTraceLines(takeTraceLines(earlier) + trace, takeTraceLines(text));
        EXPECT_EQ("", text) << "not a trace line";
        EXPECT_EQ('\n', fileText(file).back()) << "the last line has no end";
    } else if (existed) {
        EXPECT_EQ(before, fileText(file)) << "the trace file was written";
    } else {
        EXPECT_FALSE(fs::exists(file)) << "a trace file was created";
    }
}

std::string traceFile(const Sandbox& sandbox) {
    return platform().environmentPath(sandbox.path("trace.log"));
}

// A trace file that holds a line of an earlier run, which is kept in earlier.log too.
std::string earlierTraceFile(const Sandbox& sandbox) {
    sandbox.write("earlier.log", "vexa-gpio: earlier\n");
    sandbox.write("trace.log", "vexa-gpio: earlier\n");
    return traceFile(sandbox);
}

// A link at `name` in the sandbox to <sandbox>/trace.log, of another user or the caller's.
std::string linkToTraceFile(const Sandbox& sandbox, const std::string& name, bool anotherUser) {
    const fs::path link = sandbox.path(name);
    fs::create_symlink(sandbox.path("trace.log"), link);
    if (anotherUser) {
        EXPECT_EQ(0, lchown(link.c_str(), 65534, static_cast<gid_t>(-1)));
    }
    return platform().environmentPath(link);
}

const TraceTargetCase kTraceTargetCases[] = {
    {"1_is_standard_error", [](const Sandbox&) { return std::string("1"); }, TraceGoes::ToStandardError},
    {"new_file", traceFile, TraceGoes::ToFile},
    {"file_is_appended_to", earlierTraceFile, TraceGoes::ToFile},
    {"relative_path", [](const Sandbox&) { return std::string("trace.log"); }, TraceGoes::Nowhere},
    {"folder", [](const Sandbox& sandbox) { return platform().environmentPath(sandbox.root()); },
     TraceGoes::Nowhere},
    {"in_a_missing_folder",
     [](const Sandbox& sandbox) { return platform().environmentPath(sandbox.path("missing/trace.log")); },
     TraceGoes::Nowhere},
    {"5000_bytes",
     [](const Sandbox& sandbox) { return platform().environmentPath(sandbox.path(std::string(5000, 'x'))); },
     TraceGoes::Nowhere},
    // Opened without a reader, a FIFO would hold the tool up until the time limit.
    {"named_pipe",
     [](const Sandbox& sandbox) {
         const fs::path fifo = sandbox.path("trace.fifo");
         EXPECT_EQ(0, mkfifo(fifo.c_str(), 0644));
         return platform().environmentPath(fifo);
     },
     TraceGoes::Nowhere},
    // Links: followed only when they belong to root or the caller, and a missing file is
    // never created through one in a folder others may write.
    {"link_to_a_new_file", [](const Sandbox& sandbox) { return linkToTraceFile(sandbox, "link.log", false); },
     TraceGoes::ToFile, TraceTargetCase::Needs::Linux},
    {"link_of_another_user_to_a_new_file",
     [](const Sandbox& sandbox) { return linkToTraceFile(sandbox, "link.log", true); }, TraceGoes::Nowhere,
     TraceTargetCase::Needs::LinuxRoot},
    {"link_of_another_user_to_a_file",
     [](const Sandbox& sandbox) {
         earlierTraceFile(sandbox);
         return linkToTraceFile(sandbox, "link.log", true);
     },
     TraceGoes::Nowhere, TraceTargetCase::Needs::LinuxRoot},
    {"link_to_a_new_file_in_a_folder_others_may_write",
     [](const Sandbox& sandbox) {
         fs::create_directory(sandbox.path("shared"));
         fs::permissions(sandbox.path("shared"), fs::perms::all | fs::perms::sticky_bit);
         return linkToTraceFile(sandbox, "shared/link.log", false);
     },
     TraceGoes::Nowhere, TraceTargetCase::Needs::Linux},
    // Standard error, which the trace reaches only through VEXA_GPIO_TRACE=1.
    {"device", [](const Sandbox&) { return platform().environmentPath("/dev/stderr"); }, TraceGoes::Nowhere},
};

std::string traceTargetCaseName(const testing::TestParamInfo<TraceTargetCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(LoaderTrace, TraceTarget, testing::ValuesIn(kTraceTargetCases), traceTargetCaseName);

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
