#pragma once
// Runs the real tool against the simulated hardware library, each run in a fresh
// temporary folder, on Linux, under Wine or under qemu, and checks everything it did: standard
// output, standard error, exit status and the library's trace.

#include "Process.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vexa::e2e {

namespace fs = std::filesystem;

// The build under test, from the environment: VEXA_E2E_PLATFORM (linux, windows,
// valgrind or linux-arm64), VEXA_E2E_BIN (its bin folder), for windows VEXA_E2E_WINE_RUN
// (the wrapper that runs a Windows program under Wine), for valgrind, which is the Linux
// build with every program run under valgrind's memcheck, VEXA_E2E_VALGRIND (valgrind
// itself), and for linux-arm64, a Linux build for 64-bit ARM, VEXA_E2E_QEMU_RUN (the
// wrapper that runs such a program under qemu).
struct Platform {
    bool windows = false;
    fs::path bin;
    fs::path wineRun;
    fs::path valgrind;
    fs::path qemuRun;

    // Its programs start and run many times slower than a native Linux one.
    bool slow() const;

    std::string toolFile() const;
    std::string simulatorCommandFile() const; // vexa-sim
    char separator() const;                   // of paths as the program reads them
    // The hardware library's file name, or that of a variant ("nowrite", "noinit",
    // "unresolved").
    std::string halFile(const std::string& variant = "") const;
    // The file name of the build's shared library `base`.
    std::string libraryFile(const std::string& base) const;
    // A path as the program sees it in its environment.
    std::string environmentPath(const fs::path& path) const;
    // A path as the program receives it as its argument 0.
    std::string programPath(const fs::path& path) const;
    // Text with the line ends the program's streams have.
    std::string lineEnds(const std::string& text) const;
};

// Throws std::runtime_error when the environment does not name a usable build.
const Platform& platform();

// What a staged bin folder gets as its hardware library.
// Dependent imports a library of its own, which the stand-in's folder does not hold;
// RuntimeDependent (Windows only) loads that library by name while it is loaded.
enum class Library { Full, NoWrite, NoInit, Dependent, RuntimeDependent, Missing, NotALibrary, Unresolved };

// A fresh temporary folder, removed with everything in it when the object goes.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const fs::path& root() const { return folder; }
    fs::path path(const std::string& relative) const { return folder / relative; }
    void write(const std::string& relative, const std::string& text) const;

    // A copy of the tool (with any auxiliary-port library beside it) in <root>/<folder>,
    // with `library` as its hardware library there; returns the tool's path.
    fs::path stageTool(const std::string& folder, Library library) const;

private:
    fs::path folder;
};

struct Invocation {
    std::vector<std::string> arguments;
    std::string config;                                          // the simulator's configuration file
    fs::path program;                                            // empty: the tool in the build's bin folder
    std::vector<std::pair<std::string, std::string>> environment; // further variables, values as given
    std::vector<std::string> launcher; // a command that starts the program (setpriv and its options)
    Sink out = Sink::Pipe;              // where its standard output goes
    Sink err = Sink::Pipe;
    bool pipeSignalBlocked = false;     // started with SIGPIPE blocked
};

struct Outcome {
    ProcessResult process;
    std::vector<std::string> trace; // the trace file's lines, line ends removed
    std::string memcheck;           // what valgrind reported; empty when it did not run or found nothing
};

// The exit status of a program in which valgrind found errors or leaks.
constexpr int kMemcheckErrorStatus = 99;

// Runs the tool (or another program of the build) once in `sandbox`. The simulator's
// files are in the sandbox: sim.conf, sim.state, and sim.trace, which holds the calls
// of this run only, unless the run's environment names others. No VEXADIR5*,
// VEXA_SIM_* or VEXA_GPIO_* variable is passed on unless given.
Outcome runTool(const Sandbox& sandbox, const Invocation& run);

// Starts every run at once in `sandbox`, on the simulated machine `config` (the runs'
// own `config` is not used), and returns when all have ended. The runs share the
// simulator's files; the outcomes carry no trace.
std::vector<Outcome> runAtOnce(const Sandbox& sandbox, const std::string& config, const std::vector<Invocation>& runs);

// What a run must do. `out` and `err` are written with "\n"; "@PROGRAM@" in `out`
// stands for the program path that the tool prints in its usage line.
struct Expected {
    std::string out;
    std::string err;
    int status = 0;
    std::vector<std::string> trace;
};

// The exit status as a shell reports it: 128 + the signal for a process a signal ended.
int exitStatus(const ProcessResult& process);

// Checks the whole outcome with gtest expectations; `tool` is the program that ran.
void expectOutcome(const Outcome& outcome, const Expected& expected, const fs::path& tool);

// The tool of the build under test.
fs::path builtTool();

// A file's whole contents; empty when it cannot be read.
std::string fileText(const fs::path& file);

} // namespace vexa::e2e
