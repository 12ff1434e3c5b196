// The tool where the installation is hostile: installation-directory variables of every
// length, with blanks and bytes beyond ASCII; its own path at the limit of the buffer it
// is read into; things in the library's place that are no library; folders it may not
// read. It must open the board or refuse every board index, and nothing else.
//
// Linux only: names, modes and kinds of file are staged for the Linux loader, byte by
// byte, and Wine would translate them on their way to a Windows program.

#include "Cases.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <elf.h>
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

// The cases of one table, which run on Linux only.
template <typename Row>
class LinuxOnly : public testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        if (platform().windows) {
            GTEST_SKIP() << "staged for the Linux loader: Wine would translate names, modes and kinds of file";
        }
    }
};

// `length` bytes of blanks, letters, UTF-8 and a byte that is not UTF-8 at all.
std::string filler(std::size_t length) {
    static const std::string pattern = "Vexa Soft\xC3\xA9 \xFF";
    std::string text;
    while (text.size() < length) {
        text += pattern;
    }
    return text.substr(0, length);
}

// `base` extended by folders named with the filler to exactly `length` bytes. No folder
// has one of the names the tool looks for, and none is longer than a file name may be.
std::string pathOfLength(const std::string& base, std::size_t length) {
    if (length < base.size() + 2) {
        throw std::logic_error("no room for a folder under " + base);
    }
    std::string path = base;
    while (path.size() < length) {
        const std::size_t left = length - path.size() - 1; // after the separator
        std::size_t name = std::min<std::size_t>(left, 200);
        if (left - name == 1) {
            --name; // a last folder needs a separator and one byte
        }
        path += "/" + filler(name);
    }
    return path;
}

// The longest installation directory whose library path still fits the buffer.
std::size_t longestDirectory() {
    return kBufferSize - 1 - std::string("/bin/" + platform().halFile()).size();
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

// --- Installation-directory variables -------------------------------------------------

struct VariableCase {
    std::string name;
    const char* variable;
    // Stages what the case needs and gives the variable's value. The tool runs in the
    // sandbox, so a relative value names a folder there.
    std::function<std::string(const Sandbox&)> value;
    Expected expected;
};

void PrintTo(const VariableCase& row, std::ostream* stream) {
    *stream << row.name;
}

using InstallationVariable = LinuxOnly<VariableCase>;

TEST_P(InstallationVariable, OpensTheBoardOrRefusesEveryIndex) {
    const VariableCase& row = GetParam();
    Sandbox sandbox;
    Invocation run;
    run.environment = {{row.variable, row.value(sandbox)}};
    runTheTool(sandbox, run, row.expected);
}

// An installation whose path has blanks and bytes beyond ASCII.
std::string oddInstallation(const Sandbox& sandbox) {
    return install(sandbox, realRoot(sandbox) + "/" + filler(40));
}

// The installation, padded with separators to `separatorsUntil` bytes, then `tail`.
std::function<std::string(const Sandbox&)> padded(std::size_t separatorsUntil, const std::string& tail) {
    return [=](const Sandbox& sandbox) {
        std::string value = oddInstallation(sandbox);
        return value + std::string(separatorsUntil - value.size(), '/') + tail;
    };
}

std::function<std::string(const Sandbox&)> fixed(const std::string& value) {
    return [=](const Sandbox&) { return value; };
}

// An installation whose directory is `extra` bytes longer than the longest whose
// library path fits.
std::function<std::string(const Sandbox&)> longestInstallationPlus(std::size_t extra) {
    return [=](const Sandbox& sandbox) {
        return install(sandbox, pathOfLength(realRoot(sandbox), longestDirectory() + extra));
    };
}

const VariableCase kVariableCases[] = {
    {"empty", "VEXADIR5_64", fixed(""), kRefused},
    {"one_blank", "VEXADIR5_64", [](const Sandbox& sandbox) { return install(sandbox, " "); }, kOpensBoard2},
    {"one_byte_beyond_ascii", "VEXADIR5_64", [](const Sandbox& sandbox) { return install(sandbox, "\xE9"); },
     kOpensBoard2},
    {"one_separator_is_kept", "VEXADIR5_64", fixed("/"), kRefused},
    // The value is cut to its first 1023 bytes before its trailing separators go.
    {"1023_bytes_ending_in_separators", "VEXADIR5_64", padded(1023, ""), kOpensBoard2},
    {"1024_bytes_cut_to_1023", "VEXADIR5_64", padded(1023, "x"), kOpensBoard2},
    {"5000_bytes_cut_to_1023", "VEXADIR5_64", padded(1023, filler(5000 - 1023)), kOpensBoard2},
    {"VEXADIR5_of_5000_bytes_cut_to_1023", "VEXADIR5", padded(1023, filler(5000 - 1023)), kOpensBoard2},
    {"cut_keeps_byte_1023", "VEXADIR5_64", padded(1022, "x"), kRefused},
    // Too long for the library's path.
    {"1023_bytes", "VEXADIR5_64", fixed(filler(1023)), kRefused},
    {"1024_bytes", "VEXADIR5_64", fixed(filler(1024)), kRefused},
    {"5000_bytes", "VEXADIR5_64", fixed(filler(5000)), kRefused},
    {"longest_directory_whose_library_path_fits", "VEXADIR5_64", longestInstallationPlus(0), kOpensBoard2},
    {"directory_one_byte_longer", "VEXADIR5_64", longestInstallationPlus(1), kRefused},
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

using ToolPath = LinuxOnly<ToolPathCase>;

TEST_P(ToolPath, IsWalkedWhenItFitsTheBuffer) {
    const ToolPathCase& row = GetParam();
    Sandbox sandbox;
    install(sandbox, "install");
    const std::string tool = "/" + platform().toolFile();
    const std::string folder = pathOfLength(realRoot(sandbox) + "/install/bin", row.length - tool.size());
    Invocation run;
    run.program = sandbox.stageTool(fs::relative(folder, realRoot(sandbox)).string(), Library::Missing);
    ASSERT_EQ(row.length, fs::canonical(run.program).string().size());
    if (!row.environmentInstallation.empty()) {
        run.environment = {{"VEXADIR5_64", realRoot(sandbox) + "/" + row.environmentInstallation}};
    }
    runTheTool(sandbox, run, row.expected);
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
};

void PrintTo(const NotALibraryCase& row, std::ostream* stream) {
    *stream << row.name;
}

using NotALibrary = LinuxOnly<NotALibraryCase>;

TEST_P(NotALibrary, RefusesEveryIndex) {
    Sandbox sandbox;
    const fs::path bin = sandbox.path("install/bin");
    fs::create_directories(bin);
    GetParam().make(bin / platform().halFile());
    Invocation run;
    run.environment = {{"VEXADIR5_64", sandbox.path("install").string()}};
    runTheTool(sandbox, run, kRefused);
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

// The real library with zeros in place of its last `tenths`: a copy that was
// interrupted after the file had been given its full size. Without section headers,
// as some tools strip libraries, nothing at the file's end gives that away.
std::string libraryWithZeroTail(std::size_t tenths, bool withSectionHeaders) {
    std::string bytes = fileText(platform().bin / platform().halFile());
    const std::size_t kept = bytes.size() - bytes.size() * tenths / 10;
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(kept), bytes.end(), '\0');
    if (!withSectionHeaders) {
        Elf64_Ehdr header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        header.e_shoff = 0;
        header.e_shnum = 0;
        header.e_shstrndx = 0;
        std::memcpy(bytes.data(), &header, sizeof header);
    }
    return bytes;
}

const NotALibraryCase kNotALibraryCases[] = {
    {"empty_file", [](const fs::path& library) { writeFile(library, ""); }},
    {"folder", [](const fs::path& library) { fs::create_directory(library); }},
    {"link_to_nothing", [](const fs::path& library) { fs::create_symlink("nothing", library); }},
    {"program", [](const fs::path& library) { fs::copy_file(builtTool(), library); }},
    {"library_cut_short", [](const fs::path& library) { writeFile(library, headOfLibrary(4096)); }},
    {"named_pipe", [](const fs::path& library) { ASSERT_EQ(0, mkfifo(library.c_str(), 0644)); }},
    {"library_whose_last_tenth_is_zeros",
     [](const fs::path& library) { writeFile(library, libraryWithZeroTail(1, true)); }},
    {"library_without_section_headers_whose_second_half_is_zeros",
     [](const fs::path& library) { writeFile(library, libraryWithZeroTail(5, false)); }},
};

// --- Folders the tool may not read ----------------------------------------------------

// Root reads every folder whatever its mode. Runs as root drop the two capabilities that
// allow that, so the modes count as they do for anyone else.
const std::vector<std::string> kWithoutFileOverride = {
    "/usr/bin/setpriv", "--inh-caps=-dac_override,-dac_read_search", "--bounding-set=-dac_override,-dac_read_search",
    "--"};

struct UnreadableCase {
    std::string name;
    std::string relative; // in the installation found through VEXADIR5_64
    fs::perms mode;
    Expected expected;
};

void PrintTo(const UnreadableCase& row, std::ostream* stream) {
    *stream << row.name;
}

using Unreadable = LinuxOnly<UnreadableCase>;

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
    const ModeChange change(sandbox.path("install/" + row.relative), row.mode);
    run.environment = {{"VEXADIR5_64", sandbox.path("install").string()}};
    runTheTool(sandbox, run, row.expected);
}

const UnreadableCase kUnreadableCases[] = {
    {"library_folder", "bin", fs::perms::none, kRefused},
    {"installation_folder", ".", fs::perms::none, kRefused},
    {"library", "bin/libvexa_hal.so", fs::perms::none, kRefused},
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
