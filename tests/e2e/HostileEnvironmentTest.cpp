// The tool where the installation is hostile: installation-directory variables of every
// length, with blanks and bytes beyond ASCII; its own path at the limit of the buffer it
// is read into; things in the library's place that are no library; folders it may not
// read. It must open the board or refuse every board index, and nothing else.
//
// Under Wine too, for every row Windows can express: a Windows program sees a path as
// "Z:" and the Linux path, its bytes beyond ASCII in its code page (1252: "\xC3\xA9" in
// a Linux name is the one byte "\xE9" for it), and lengths are counted as it sees
// them. The rows that cannot run on one of the platforms say why when skipped.

#include "Cases.h"
#include "support/Text.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <elf.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa::e2e {
namespace {

// The size of the tool's buffers for its own path, the installation directory and the
// library's path, each with its terminating NUL.
constexpr std::size_t kBufferSize = 1024;

const std::vector<std::string> kUseBoard2 = {"-board", "2"};
const Expected kOpensBoard2 = {"Done.\n", "", 0, maxDevices(kSlots) + constructBoard(2) + releaseBoard(2)};
// Without a library the tool makes no library call at all.
const Expected kRefused = {"", failure("Invalid board index"), 1, {}};

// Windows opens no file whose path, its terminating NUL included, exceeds MAX_PATH.
constexpr std::size_t kWindowsMaxPath = 260;

// Where a row runs: everywhere unless it names the one platform it runs on, and why
// it cannot run on the other.
enum class Runs { Everywhere, OnLinuxOnly, OnWindowsOnly };

struct OnePlatform {
    Runs runs = Runs::Everywhere;
    const char* why = "";

    bool skipped() const {
        return runs == (platform().windows ? Runs::OnLinuxOnly : Runs::OnWindowsOnly);
    }
};

// An absolute path as the tool sees it in its environment.
std::string toolPath(const std::string& path) {
    return platform().environmentPath(path);
}

// Blanks, letters and a letter beyond ASCII, `length` bytes as the tool sees them (it
// reads names as UTF-8 on Windows too, where its manifest sets the code page); on
// Linux also a byte that is not UTF-8 at all, which Wine hands a program as "?".
// With `asciiOnly`, bytes and characters are one: for a limit Windows counts in
// characters.
std::string filler(std::size_t length, bool asciiOnly = false) {
    static const char* const linuxPattern[] = {"V", "e", "x", "a", " ", "S", "o", "f", "t", "\xC3\xA9", " ", "\xFF"};
    const std::size_t patternLength =
        asciiOnly ? 9 : (platform().windows ? std::size(linuxPattern) - 1 : std::size(linuxPattern));
    std::string text;
    for (std::size_t i = 0; text.size() < length; ++i) {
        text += linuxPattern[i % patternLength];
    }
    if (text.size() > length) {
        text.resize(length); // Linux only: the last letter loses a byte
    }
    return text;
}

// `base` extended by folders named with the filler to exactly `length` bytes as the
// tool sees the path. No folder has one of the names the tool looks for, and none is
// longer than a file name may be.
std::string pathOfLength(const std::string& base, std::size_t length, bool asciiOnly = false) {
    if (length < toolPath(base).size() + 2) {
        throw std::logic_error("no room for a folder under " + base);
    }
    std::string path = base;
    while (toolPath(path).size() < length) {
        const std::size_t left = length - toolPath(path).size() - 1; // after the separator
        std::size_t name = std::min<std::size_t>(left, 200);
        if (left - name == 1) {
            --name; // a last folder needs a separator and one byte
        }
        path += "/" + filler(name, asciiOnly);
    }
    return path;
}

// The longest installation directory whose library path still fits: the tool's buffer
// on Linux, MAX_PATH on Windows.
std::size_t longestDirectory() {
    const std::string separator(1, platform().separator());
    const std::size_t limit = platform().windows ? kWindowsMaxPath : kBufferSize;
    return limit - 1 - std::string(separator + "bin" + separator + platform().halFile()).size();
}

// The sandbox's real path: the tool reads its own path with every link resolved.
std::string realRoot(const Sandbox& sandbox) {
    return fs::canonical(sandbox.root()).string();
}

// An installation with the full library in `directory` (absolute, or relative to the
// sandbox); returns `directory`.
std::string install(const Sandbox& sandbox, const std::string& directory) {
    const fs::path absolute = fs::path(directory).is_absolute() ? fs::path(directory) : sandbox.path(directory);
    sandbox.stageTool(fs::relative(absolute, sandbox.root()).string() + "/bin", Library::Full);
    return directory;
}

void runTheTool(const Sandbox& sandbox, Invocation run, const Expected& expected) {
    run.config = kMachine;
    run.arguments = kUseBoard2;
    if (run.program.empty()) {
        run.program = sandbox.stageTool("elsewhere", Library::Missing);
    }
    expectOutcome(runTool(sandbox, run), expected, run.program);
}

// Runs `run` (its program staged already) once more with the loader trace on standard
// error, checks that all else is as `expected`, and gives the trace's lines of `step`.
std::vector<std::string> tracedStep(const Sandbox& sandbox, Invocation run, const Expected& expected,
                                    const std::string& step) {
    run.config = kMachine;
    run.arguments = kUseBoard2;
    run.environment.emplace_back("VEXA_GPIO_TRACE", "1");
    Outcome traced = runTool(sandbox, run);
    const std::vector<std::string> lines = takeTraceLines(traced.process.err);
    expectOutcome(traced, expected, run.program);
    return stepLines(lines, step);
}

// --- Installation-directory variables -------------------------------------------------

struct VariableCase {
    std::string name;
    const char* variable;
    // Stages what the case needs and gives the variable's value. The tool runs in the
    // sandbox, so a relative value names a folder there.
    std::function<std::string(const Sandbox&)> value;
    Expected expected;
    OnePlatform only = {};
};

void PrintTo(const VariableCase& row, std::ostream* stream) {
    *stream << row.name;
}

using InstallationVariable = testing::TestWithParam<VariableCase>;

TEST_P(InstallationVariable, OpensTheBoardOrRefusesEveryIndex) {
    const VariableCase& row = GetParam();
    if (row.only.skipped()) {
        GTEST_SKIP() << row.only.why;
    }
    Sandbox sandbox;
    Invocation run;
    run.environment = {{row.variable, row.value(sandbox)}};
    runTheTool(sandbox, run, row.expected);
}

// An installation whose path has blanks and bytes beyond ASCII.
std::string oddInstallation(const Sandbox& sandbox) {
    return toolPath(install(sandbox, realRoot(sandbox) + "/" + filler(40)));
}

// The installation, padded with separators to `separatorsUntil` bytes, then `tail`
// bytes of filler (or "x" for 1).
std::function<std::string(const Sandbox&)> padded(std::size_t separatorsUntil, std::size_t tail) {
    return [=](const Sandbox& sandbox) {
        std::string value = oddInstallation(sandbox);
        return value + std::string(separatorsUntil - value.size(), platform().separator()) +
               (tail == 1 ? std::string("x") : filler(tail));
    };
}

std::function<std::string(const Sandbox&)> fixed(const std::string& value) {
    return [=](const Sandbox&) { return value; };
}

std::function<std::string(const Sandbox&)> fillerOf(std::size_t length) {
    return [=](const Sandbox&) { return filler(length); };
}

// An installation whose directory is `extra` bytes longer than the longest whose
// library path fits.
std::function<std::string(const Sandbox&)> longestInstallationPlus(std::size_t extra) {
    return [=](const Sandbox& sandbox) {
        const bool characters = platform().windows; // MAX_PATH counts characters
        return toolPath(install(sandbox, pathOfLength(realRoot(sandbox), longestDirectory() + extra, characters)));
    };
}

const OnePlatform kBufferLimit = {Runs::OnLinuxOnly, "Windows opens no library whose path is longer than MAX_PATH "
                                                     "allows, far below the tool's buffer: see library_path_of_*"};
const OnePlatform kMaxPathLimit = {Runs::OnWindowsOnly, "MAX_PATH is Windows' own: Linux opens the library whatever "
                                                        "its path's length, up to the tool's buffer"};

const VariableCase kVariableCases[] = {
    {"empty", "VEXADIR5_64", fixed(""), kRefused},
    {"one_blank", "VEXADIR5_64", [](const Sandbox& sandbox) { return install(sandbox, " "); }, kOpensBoard2},
    // The tool sees one byte "\xE9": the Linux name holds it as is, or, for Windows,
    // as the UTF-8 that Wine turns into it.
    {"one_byte_beyond_ascii", "VEXADIR5_64",
     [](const Sandbox& sandbox) { return install(sandbox, platform().windows ? "\xC3\xA9" : "\xE9"); }, kOpensBoard2},
    {"one_separator_is_kept", "VEXADIR5_64",
     [](const Sandbox&) { return std::string(1, platform().separator()); }, kRefused},
    // The value is cut to its first 1023 bytes before its trailing separators go.
    {"1023_bytes_ending_in_separators", "VEXADIR5_64", padded(1023, 0), kOpensBoard2},
    {"1024_bytes_cut_to_1023", "VEXADIR5_64", padded(1023, 1), kOpensBoard2},
    {"5000_bytes_cut_to_1023", "VEXADIR5_64", padded(1023, 5000 - 1023), kOpensBoard2},
    {"VEXADIR5_of_5000_bytes_cut_to_1023", "VEXADIR5", padded(1023, 5000 - 1023), kOpensBoard2},
    {"cut_keeps_byte_1023", "VEXADIR5_64", padded(1022, 1), kRefused},
    // Too long for the library's path.
    {"1023_bytes", "VEXADIR5_64", fillerOf(1023), kRefused},
    {"1024_bytes", "VEXADIR5_64", fillerOf(1024), kRefused},
    {"5000_bytes", "VEXADIR5_64", fillerOf(5000), kRefused},
    {"longest_directory_whose_library_path_fits", "VEXADIR5_64", longestInstallationPlus(0), kOpensBoard2,
     kBufferLimit},
    {"directory_one_byte_longer", "VEXADIR5_64", longestInstallationPlus(1), kRefused, kBufferLimit},
    // The limit on Windows: the library's path of 259 characters, with its NUL as long
    // as MAX_PATH. Wine takes one character more; beyond that no path is opened.
    {"library_path_of_259_characters", "VEXADIR5_64", longestInstallationPlus(0), kOpensBoard2, kMaxPathLimit},
    {"library_path_of_261_characters", "VEXADIR5_64", longestInstallationPlus(2), kRefused, kMaxPathLimit},
};

// --- The tool's own path --------------------------------------------------------------

struct ToolPathCase {
    std::string name;
    std::size_t length; // of the tool's path, which lies under <sandbox>/install/bin
    std::string environmentInstallation; // VEXADIR5_64 names <sandbox>/<this>; empty: unset
    Expected expected;
};

void PrintTo(const ToolPathCase& row, std::ostream* stream) {
    *stream << row.name;
}

using ToolPath = testing::TestWithParam<ToolPathCase>;

TEST_P(ToolPath, IsWalkedWhenItFitsTheBuffer) {
    const ToolPathCase& row = GetParam();
    Sandbox sandbox;
    install(sandbox, "install");
    const std::string tool = "/" + platform().toolFile();
    const std::string folder = pathOfLength(realRoot(sandbox) + "/install/bin", row.length - tool.size());
    Invocation run;
    run.program = sandbox.stageTool(fs::relative(folder, realRoot(sandbox)).string(), Library::Missing);
    ASSERT_EQ(row.length, toolPath(fs::canonical(run.program).string()).size());
    if (!row.environmentInstallation.empty()) {
        run.environment = {{"VEXADIR5_64", toolPath(realRoot(sandbox) + "/" + row.environmentInstallation)}};
    }
    runTheTool(sandbox, run, row.expected);

    // The trace shows the path that fits whole, and none of one that was cut. Under
    // Wine the tool's own path is the system's spelling of it, which the loader rows
    // check.
    if (platform().windows) {
        return;
    }
    const std::string path = row.length < kBufferSize ? fs::canonical(run.program).string() : "unknown";
    expectTraceLines({kTracePrefix + ("self " + path)}, tracedStep(sandbox, run, row.expected, "self "));
}

const ToolPathCase kToolPathCases[] = {
    {"1023_bytes_is_walked_before_the_environment", kBufferSize - 1, "nowhere", kOpensBoard2},
    {"1024_bytes_did_not_fit", kBufferSize, "", kRefused},
    {"1024_bytes_leaves_it_to_the_environment", kBufferSize, "install", kOpensBoard2},
};

// --- Something in the library's place that is no library ------------------------------

struct NotALibraryCase {
    std::string name;
    std::function<void(const fs::path& library)> make; // puts it where the library belongs
    // What the loader trace says after "load failed: <library>": the tool's reason for
    // refusing the file, or "*" where the system's message follows.
    std::string reason;
    OnePlatform only = {};
};

void PrintTo(const NotALibraryCase& row, std::ostream* stream) {
    *stream << row.name;
}

using NotALibrary = testing::TestWithParam<NotALibraryCase>;

// The tool under test is the ARM build's when it runs under qemu, the host's otherwise;
// a row's reason names the other machine as @OTHER_MACHINE@.
bool toolIsForArm() { return !platform().qemuRun.empty(); }
const char kBuiltForAnotherMachine[] = ": built for @OTHER_MACHINE@";
std::string otherMachineText() { return toolIsForArm() ? "x86-64, not aarch64" : "aarch64, not x86-64"; }

TEST_P(NotALibrary, RefusesEveryIndexAndTracesWhy) {
    if (GetParam().only.skipped()) {
        GTEST_SKIP() << GetParam().only.why;
    }
    Sandbox sandbox;
    const fs::path bin = sandbox.path("install/bin");
    fs::create_directories(bin);
    const fs::path library = bin / platform().halFile();
    GetParam().make(library);
    Invocation run;
    run.environment = {{"VEXADIR5_64", toolPath(sandbox.path("install").string())}};
    runTheTool(sandbox, run, kRefused);

    // Windows gives its own message for each, which the loader rows check.
    if (platform().windows) {
        return;
    }
    run.program = sandbox.stageTool("traced", Library::Missing);
    expectTraceLines({kTracePrefix + ("load failed: " + library.string()) +
                      test::replaceAll(GetParam().reason, "@OTHER_MACHINE@", otherMachineText())},
                     tracedStep(sandbox, run, kRefused, "load "));
}

void writeFile(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// The first `size` bytes of the real library: a copy that was cut short.
std::string headOfLibrary(std::size_t size) {
    std::ifstream stream(platform().bin / platform().halFile(), std::ios::binary);
    std::string bytes(size, '\0');
    stream.read(bytes.data(), static_cast<std::streamsize>(size));
    return bytes;
}

// Where an interrupted copy of the library stopped: the zeros begin there.
enum class CopyStopped { InItsLastTenth, AtItsDynamicSegment };

// The real library with zeros from where a copy stopped after the file had been given
// its full size. Stopped at its dynamic segment, the copy is also stripped of its
// section headers, as some tools strip libraries: then nothing at the file's end gives
// it away, and only the zeros in that segment do.
std::string libraryWithZeroTail(CopyStopped stopped) {
    std::string bytes = fileText(platform().bin / platform().halFile());
    Elf64_Ehdr header{};
    std::memcpy(&header, bytes.data(), sizeof header);
    std::size_t kept = bytes.size() - bytes.size() / 10;
    if (stopped == CopyStopped::AtItsDynamicSegment) {
        for (std::size_t i = 0; i < header.e_phnum; ++i) {
            Elf64_Phdr segment{};
            std::memcpy(&segment, bytes.data() + header.e_phoff + i * sizeof segment, sizeof segment);
            if (segment.p_type == PT_DYNAMIC) {
                kept = segment.p_offset;
            }
        }
        header.e_shoff = 0;
        header.e_shnum = 0;
        header.e_shstrndx = 0;
        std::memcpy(bytes.data(), &header, sizeof header);
    }
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(kept), bytes.end(), '\0');
    return bytes;
}

// The real library, marked as built for a machine other than the tool's.
std::string libraryForAnotherMachine() {
    std::string bytes = fileText(platform().bin / platform().halFile());
    Elf64_Ehdr header{};
    std::memcpy(&header, bytes.data(), sizeof header);
    header.e_machine = toolIsForArm() ? EM_X86_64 : EM_AARCH64;
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// The damage is that of an ELF file, and the system loader that would fault on it is Linux's.
const OnePlatform kElfDamage = {Runs::OnLinuxOnly, "an ELF library's damage: Windows' loader checks a DLL itself"};

const NotALibraryCase kNotALibraryCases[] = {
    {"empty_file", [](const fs::path& library) { writeFile(library, ""); }, ": *"},
    {"folder", [](const fs::path& library) { fs::create_directory(library); }, ": not a regular file"},
    {"link_to_nothing", [](const fs::path& library) { fs::create_symlink("nothing", library); }, ": *"},
    {"program", [](const fs::path& library) { fs::copy_file(builtTool(), library); }, ": *"},
    {"library_cut_short", [](const fs::path& library) { writeFile(library, headOfLibrary(4096)); },
     ": file is cut short"},
    {"named_pipe", [](const fs::path& library) { ASSERT_EQ(0, mkfifo(library.c_str(), 0644)); },
     ": not a regular file"},
    {"library_whose_last_tenth_is_zeros",
     [](const fs::path& library) { writeFile(library, libraryWithZeroTail(CopyStopped::InItsLastTenth)); },
     ": file is damaged", kElfDamage},
    {"library_without_section_headers_zeroed_from_its_dynamic_segment",
     [](const fs::path& library) { writeFile(library, libraryWithZeroTail(CopyStopped::AtItsDynamicSegment)); },
     ": file is damaged", kElfDamage},
    {"library_for_another_machine",
     [](const fs::path& library) { writeFile(library, libraryForAnotherMachine()); }, kBuiltForAnotherMachine,
     kElfDamage},
};

// A FIFO in the library's place is judged before anything opens it, so that whoever
// writes to it sees no reader come and go.
TEST(NotALibrary, NamedPipeIsNeverOpened) {
    if (platform().windows) {
        GTEST_SKIP() << "a Linux FIFO, watched with inotify";
    }
    Sandbox sandbox;
    const fs::path bin = sandbox.path("install/bin");
    fs::create_directories(bin);
    const fs::path fifo = bin / platform().halFile();
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_LE(0, watch);
    ASSERT_LE(0, inotify_add_watch(watch, fifo.c_str(), IN_OPEN));
    Invocation run;
    run.environment = {{"VEXADIR5_64", sandbox.path("install").string()}};
    runTheTool(sandbox, run, kRefused);
    char events[4096];
    EXPECT_EQ(-1, read(watch, events, sizeof events)) << "the FIFO was opened";
    close(watch);
}

// A library replaced after it was checked, as the system loader is about to open it,
// is not used: what was loaded is compared with what was checked.
TEST(SwappedLibrary, IsNotBound) {
    if (platform().windows || !platform().valgrind.empty()) {
        GTEST_SKIP() << "the Linux system loader's audit interface, which valgrind does not run";
    }
    Sandbox sandbox;
    install(sandbox, "install");
    const fs::path library = sandbox.path("install/bin/" + platform().halFile());
    fs::copy_file(library, sandbox.path("install/bin/swapped.so"));
    const std::string audit = (platform().bin / platform().libraryFile("vexa_e2e_swap_audit")).string();
    Invocation run;
    // Under qemu the emulated program's loader takes it, not the host's that starts qemu.
    run.environment = {{"VEXADIR5_64", toolPath(sandbox.path("install").string())},
                       platform().qemuRun.empty() ? std::pair<std::string, std::string>{"LD_AUDIT", audit}
                                                  : std::pair<std::string, std::string>{"QEMU_SET_ENV", "LD_AUDIT=" + audit},
                       {"VEXA_TEST_SWAP_FROM", sandbox.path("install/bin/swapped.so").string()},
                       {"VEXA_TEST_SWAP_TO", library.string()}};
    run.program = sandbox.stageTool("elsewhere", Library::Missing);
    runTheTool(sandbox, run, kRefused);

    fs::copy_file(library, sandbox.path("install/bin/swapped.so"));
    expectTraceLines({kTracePrefix + ("load failed: " + library.string()) + ": the file changed while it was checked"},
                     tracedStep(sandbox, run, kRefused, "load "));
}

// The library is loaded through the descriptors /proc shows; without them it is not
// loaded at all, and the tool says why.
TEST(WithoutProc, TheLibraryIsRefusedSayingWhatItNeeds) {
    if (platform().windows || !platform().valgrind.empty() || geteuid() != 0) {
        GTEST_SKIP() << "a Linux program run directly in a mount namespace, which takes root";
    }
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer runtime in the tool cannot start without /proc";
#endif
    Sandbox sandbox;
    const std::string installation = realRoot(sandbox) + "/install";
    install(sandbox, installation);
    Invocation run;
    run.launcher = {"/usr/bin/unshare", "--mount", "--", "/bin/sh", "-c", "mount -t tmpfs none /proc && exec \"$@\"",
                    "sh"};
    run.program = sandbox.stageTool("elsewhere", Library::Missing);
    // Without /proc the system loader cannot resolve the tool's own $ORIGIN either.
    run.environment = {{"VEXADIR5_64", installation}, {"LD_LIBRARY_PATH", run.program.parent_path().string()}};
    const std::string line = "vexa-gpio: not loading " + installation + "/bin/" + platform().halFile() +
                             ": loading it safely needs /proc mounted\n";
    runTheTool(sandbox, run, {"", line + failure("Invalid board index"), 1, {}});
}

// --- Folders the tool may not read ----------------------------------------------------

// Root reads every folder whatever its mode. Runs as root drop the two capabilities that
// allow that, so the modes count as they do for anyone else.
const std::vector<std::string> kWithoutFileOverride = {
    "/usr/bin/setpriv", "--inh-caps=-dac_override,-dac_read_search", "--bounding-set=-dac_override,-dac_read_search",
    "--"};

struct UnreadableCase {
    std::string name;
    std::string relative; // in the installation found through VEXADIR5_64; "@LIBRARY@": the library
    fs::perms mode;
    Expected expected;
    // Under Wine its server opens a file for the program, with the server's own
    // rights: as root, with the capability to read any file, a file's mode does not
    // count, only the folders on the way to it.
    bool needsModesUnderWine = false;
};

void PrintTo(const UnreadableCase& row, std::ostream* stream) {
    *stream << row.name;
}

using Unreadable = testing::TestWithParam<UnreadableCase>;

// Gives a file its mode back when the case ends, so that the sandbox can be removed.
class ModeChange {
public:
    ModeChange(fs::path file_, fs::perms mode) : file(std::move(file_)), previous(fs::status(file).permissions()) {
        fs::permissions(file, mode);
    }
    ~ModeChange() {
        std::error_code ignored;
        fs::permissions(file, previous, ignored);
    }
    ModeChange(const ModeChange&) = delete;
    ModeChange& operator=(const ModeChange&) = delete;

private:
    fs::path file;
    fs::perms previous;
};

// Whether a program started through `launcher` is kept out of a folder of mode 000.
bool modesCount(const Sandbox& sandbox, const std::vector<std::string>& launcher) {
    const fs::path folder = sandbox.path("closed");
    fs::create_directory(folder);
    const ModeChange closed(folder, fs::perms::none);
    std::vector<std::string> command = launcher;
    command.insert(command.end(), {"/usr/bin/test", "!", "-r", folder.string()});
    return runProcess(command, {}, "/", std::chrono::seconds(10)).status == 0;
}

TEST_P(Unreadable, RefusesEveryIndexUnlessTheLibraryCanStillBeOpened) {
    const UnreadableCase& row = GetParam();
    if (row.needsModesUnderWine && platform().windows && geteuid() == 0) {
        GTEST_SKIP() << "Wine's server opens the file for the program, with root's right to read any file";
    }
    Sandbox sandbox;
    Invocation run;
    if (geteuid() == 0) {
        run.launcher = kWithoutFileOverride;
    }
    if (!modesCount(sandbox, run.launcher)) {
        GTEST_SKIP() << "root's capabilities to read any file could not be dropped: setpriv is missing or may not "
                        "change the capability bounding set";
    }
    install(sandbox, "install");
    const std::string relative = row.relative == "@LIBRARY@" ? "bin/" + platform().halFile() : row.relative;
    const ModeChange change(sandbox.path("install/" + relative), row.mode);
    run.environment = {{"VEXADIR5_64", toolPath(sandbox.path("install").string())}};
    runTheTool(sandbox, run, row.expected);
}

const UnreadableCase kUnreadableCases[] = {
    {"library_folder", "bin", fs::perms::none, kRefused},
    {"installation_folder", ".", fs::perms::none, kRefused},
    {"library", "@LIBRARY@", fs::perms::none, kRefused, true},
    // Listing is not needed: the library is opened by its full path.
    {"library_folder_searchable_only", "bin", fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
     kOpensBoard2},
};

template <typename Row>
std::string rowName(const testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Hostile, InstallationVariable, testing::ValuesIn(kVariableCases), rowName<VariableCase>);
INSTANTIATE_TEST_SUITE_P(Hostile, ToolPath, testing::ValuesIn(kToolPathCases), rowName<ToolPathCase>);
INSTANTIATE_TEST_SUITE_P(Hostile, NotALibrary, testing::ValuesIn(kNotALibraryCases), rowName<NotALibraryCase>);
INSTANTIATE_TEST_SUITE_P(Hostile, Unreadable, testing::ValuesIn(kUnreadableCases), rowName<UnreadableCase>);

} // namespace
} // namespace vexa::e2e
