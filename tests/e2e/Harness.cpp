#include "Harness.h"

#include "support/Environment.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

extern char** environ;

namespace vexa::e2e {

namespace {

using test::linesText;
using test::replaceAll;
using test::startsWith;
using test::variable;

Platform platformFromEnvironment() {
    Platform platform;
    const std::string name = variable("VEXA_E2E_PLATFORM");
    platform.bin = variable("VEXA_E2E_BIN");
    if ((name != "linux" && name != "windows" && name != "valgrind" && name != "linux-arm64") ||
        platform.bin.empty()) {
        throw std::runtime_error("set VEXA_E2E_PLATFORM to linux, windows, valgrind or linux-arm64 and VEXA_E2E_BIN "
                                 "to the build's bin folder");
    }
    if (name == "valgrind") {
        platform.valgrind = variable("VEXA_E2E_VALGRIND");
        if (platform.valgrind.empty()) {
            throw std::runtime_error("set VEXA_E2E_VALGRIND to the valgrind program");
        }
    }
    if (name == "linux-arm64") {
        platform.qemuRun = variable("VEXA_E2E_QEMU_RUN");
        if (platform.qemuRun.empty()) {
            throw std::runtime_error("set VEXA_E2E_QEMU_RUN to the program that runs aarch64 programs under qemu");
        }
    }
    platform.windows = name == "windows";
    if (platform.windows) {
        platform.wineRun = variable("VEXA_E2E_WINE_RUN");
        if (platform.wineRun.empty()) {
            throw std::runtime_error("set VEXA_E2E_WINE_RUN to the program that runs Windows programs under Wine");
        }
    }
    if (!fs::exists(platform.bin / platform.toolFile())) {
        throw std::runtime_error("no " + platform.toolFile() + " in " + platform.bin.string());
    }
    return platform;
}

std::vector<std::string> readLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream stream(file, std::ios::binary);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// The test's own environment, less everything that steers the tool or the simulator,
// so that each run gets exactly the settings its case gives.
std::vector<std::string> baseEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!startsWith(text, "VEXA_SIM_") && !startsWith(text, "VEXADIR5") && !startsWith(text, "VEXA_E2E_") &&
            !startsWith(text, "VEXA_GPIO_")) {
            environment.push_back(text);
        }
    }
    return environment;
}

// The command of one run: its launcher, then Wine, qemu or valgrind, then the program.
// Valgrind writes to `memcheckLog` in the sandbox, so the program's own streams stay as
// they are.
std::vector<std::string> commandLine(const Sandbox& sandbox, const Invocation& run, const std::string& memcheckLog) {
    const Platform& build = platform();
    std::vector<std::string> command = run.launcher;
    if (build.windows) {
        command.push_back(build.wineRun.string());
    }
    if (!build.qemuRun.empty()) {
        command.push_back(build.qemuRun.string());
    }
    if (!build.valgrind.empty()) {
        command.insert(command.end(), {build.valgrind.string(), "--tool=memcheck", "--quiet", "--leak-check=full",
                                       "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
                                       "--error-exitcode=" + std::to_string(kMemcheckErrorStatus),
                                       "--suppressions=" VEXA_E2E_VALGRIND_SUPPRESSIONS,
                                       "--log-file=" + sandbox.path(memcheckLog).string()});
    }
    command.push_back((run.program.empty() ? builtTool() : run.program).string());
    command.insert(command.end(), run.arguments.begin(), run.arguments.end());
    return command;
}

std::vector<std::string> runEnvironment(const Sandbox& sandbox, const Invocation& run) {
    const Platform& build = platform();
    std::vector<std::string> environment = baseEnvironment();
    const auto given = [&](const std::string& name) {
        return std::any_of(run.environment.begin(), run.environment.end(),
                           [&](const auto& variable) { return variable.first == name; });
    };
    for (const auto& [name, file] : {std::pair<std::string, std::string>{"VEXA_SIM_CONFIG", "sim.conf"},
                                     {"VEXA_SIM_STATE", "sim.state"},
                                     {"VEXA_SIM_TRACE", "sim.trace"}}) {
        if (!given(name)) {
            environment.push_back(name + "=" + build.environmentPath(sandbox.path(file)));
        }
    }
    for (const auto& [name, value] : run.environment) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

std::chrono::seconds timeLimit() {
    return std::chrono::seconds(platform().slow() ? 60 : 10);
}

// The machine's configuration, and a trace that starts empty.
void prepareSimulator(const Sandbox& sandbox, const std::string& config) {
    sandbox.write("sim.conf", config);
    fs::remove(sandbox.path("sim.trace"));
}

// Valgrind's report of one run, read and removed; empty when valgrind did not run.
std::string takeMemcheckLog(const Sandbox& sandbox, const std::string& name) {
    const fs::path file = sandbox.path(name);
    const std::string text = fileText(file);
    std::error_code ignored;
    fs::remove(file, ignored);
    return text;
}

} // namespace

bool Platform::slow() const {
    // Wine may need to start its server first, which takes seconds; valgrind and qemu
    // translate every instruction.
    return windows || !valgrind.empty() || !qemuRun.empty();
}

std::string Platform::toolFile() const {
    return windows ? "vexa-gpio.exe" : "vexa-gpio";
}

std::string Platform::simulatorCommandFile() const {
    return windows ? "vexa-sim.exe" : "vexa-sim";
}

char Platform::separator() const {
    return windows ? '\\' : '/';
}

std::string Platform::halFile(const std::string& variant) const {
    return libraryFile(variant.empty() ? "vexa_hal" : "vexa_hal_" + variant);
}

std::string Platform::libraryFile(const std::string& base) const {
    return windows ? base + ".dll" : "lib" + base + ".so";
}

std::string Platform::environmentPath(const fs::path& path) const {
    return windows ? "Z:" + path.string() : path.string();
}

std::string Platform::programPath(const fs::path& path) const {
    // Wine hands a program started by its Unix path the DOS form of that path.
    return windows ? replaceAll("Z:" + path.string(), "/", "\\") : path.string();
}

std::string Platform::lineEnds(const std::string& text) const {
    return windows ? replaceAll(text, "\n", "\r\n") : text;
}

const Platform& platform() {
    static const Platform instance = platformFromEnvironment();
    return instance;
}

fs::path builtTool() {
    return platform().bin / platform().toolFile();
}

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "vexa-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    }
    folder = pattern;
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

void Sandbox::write(const std::string& relative, const std::string& text) const {
    const fs::path file = path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary);
    stream << text;
    if (!stream.flush()) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

fs::path Sandbox::stageTool(const std::string& relative, Library library) const {
    const Platform& build = platform();
    const fs::path target = path(relative);
    fs::create_directories(target);
    fs::copy_file(build.bin / build.toolFile(), target / build.toolFile());
    // A library the tool links at start must sit beside it.
    for (const fs::directory_entry& entry : fs::directory_iterator(build.bin)) {
        if (entry.path().filename().string().find("vexa_auxport") != std::string::npos) {
            fs::copy_file(entry.path(), target / entry.path().filename());
        }
    }
    const fs::path hal = target / build.halFile();
    // Each stand-in variant is built as a file of its own, named after the variant.
    static const std::map<Library, std::string> variants = {{Library::Full, ""},
                                                            {Library::NoWrite, "nowrite"},
                                                            {Library::NoInit, "noinit"},
                                                            {Library::Dependent, "dependent"},
                                                            {Library::RuntimeDependent, "runtimedependent"},
                                                            {Library::Unresolved, "unresolved"}};
    if (const auto variant = variants.find(library); variant != variants.end()) {
        fs::copy_file(build.bin / build.halFile(variant->second), hal);
    } else if (library == Library::NotALibrary) {
        write(fs::relative(hal, folder).string(), "This is not a library.\n");
    }
    return target / build.toolFile();
}

Outcome runTool(const Sandbox& sandbox, const Invocation& run) {
    prepareSimulator(sandbox, run.config);
    Outcome outcome;
    outcome.process = runProcess(commandLine(sandbox, run, "memcheck.log"), runEnvironment(sandbox, run),
                                 sandbox.root().string(), timeLimit(), run.out, run.err, run.pipeSignalBlocked);
    for (const std::string& line : readLines(sandbox.path("sim.trace"))) {
        outcome.trace.push_back(test::withoutTiming(line));
    }
    outcome.memcheck = takeMemcheckLog(sandbox, "memcheck.log");
    return outcome;
}

std::vector<Outcome> runAtOnce(const Sandbox& sandbox, const std::string& config, const std::vector<Invocation>& runs) {
    prepareSimulator(sandbox, config);
    // The runs share the machine's cores, so each may take longer than alone.
    const std::chrono::seconds limit = 3 * timeLimit();
    std::vector<std::future<ProcessResult>> running;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        running.push_back(std::async(std::launch::async, runProcess,
                                     commandLine(sandbox, runs[i], "memcheck." + std::to_string(i) + ".log"),
                                     runEnvironment(sandbox, runs[i]), sandbox.root().string(), limit, runs[i].out,
                                     runs[i].err, runs[i].pipeSignalBlocked));
    }
    std::vector<Outcome> outcomes(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        outcomes[i].process = running[i].get();
        outcomes[i].memcheck = takeMemcheckLog(sandbox, "memcheck." + std::to_string(i) + ".log");
    }
    return outcomes;
}

void expectOutcome(const Outcome& outcome, const Expected& expected, const fs::path& tool) {
    const Platform& build = platform();
    const ProcessResult& process = outcome.process;
    ASSERT_EQ("", process.spawnError) << "the tool could not be started";
    EXPECT_FALSE(process.timedOut) << "the tool did not end in time and was killed";
    if (!build.valgrind.empty()) {
        EXPECT_NE(kMemcheckErrorStatus, process.status) << "valgrind found errors:\n" << outcome.memcheck;
    }
    EXPECT_EQ(build.lineEnds(replaceAll(expected.out, "@PROGRAM@", build.programPath(tool))), process.out)
        << "standard output";
    EXPECT_EQ(build.lineEnds(expected.err), process.err) << "standard error";
    EXPECT_EQ(expected.status, exitStatus(process)) << "exit status (128 + the signal that ended the tool)";
    if (expected.status > 128) {
        // The signal itself, not an exit with its number: a caller that waits can tell.
        EXPECT_EQ(expected.status - 128, process.signal) << "the signal that ended the tool";
    }
    EXPECT_EQ(linesText(expected.trace), linesText(outcome.trace)) << "library trace";
}

int exitStatus(const ProcessResult& process) {
    return process.signal != 0 ? 128 + process.signal : process.status;
}

std::string fileText(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

} // namespace vexa::e2e
