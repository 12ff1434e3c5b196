// Fuzzes the whole argument loop in-process: the input, split at NUL bytes, is the
// command line after the program path, run against the simulated hardware library that
// the tool finds and loads as usual. Every run must end in one of the tool's two ways
// (a failure reported once with status 1, or "Done." with status 0), in whole lines,
// and give back every board it opened. Each input starts from the same machine.

#include "app/CommandLine.h"
#include "hal/HalEntryPoints.h"
#include "tests/support/Machine.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The end-to-end suite's machine, and after it a board whose extension has a pin read
// back as invalid and a dip-switch position, and an empty slot.
const char kMachine[] = "slots 8\n" VEXA_TEST_MACHINE_BOARDS
                        "board 6 type 0xA61\n"
                        "expander 6 IOS0 DS4520\n"
                        "expander 6 IOS1 DS4510\n"
                        "  register 0xF0 0x01\n"
                        "  register 0xF7 0x00\n"
                        "  external 2 high\n";
constexpr std::int32_t kSlots = 8;
constexpr std::int32_t kBoards = 7; // slots 0 to 6 hold a board that opens

// Every message the tool fails with.
const char* const kFailures[] = {
    "Missing argument for option",
    "Invalid board index",
    "Failed to open board",
    "Unknown option",
    "Failed to create GPIOs instance",
    "Board is not supported",
    "No board selected",
    "Invalid argument for option",
    "Bank not found",
    "Invalid number of settings",
    "Unknown value for settings",
    "Bank has no dip-switch",
    "Unknown value for setting",
    "Invalid combination of bank settings",
    "Conflicting settings",
    "Device not available",
    "Failed to read register",
    "Failed to write register",
    "Invalid setting for DS45x0::IoPin",
};
const char kFailurePrefix[] = "Exception caught: ";
const char kWarning[] = "WARNING: all parameters must be set on this bank";

fs::path folder;
fs::path stateFile;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "command-line fuzzer: %s\n", what);
        std::abort();
    }
}

std::vector<std::string> lines(const std::string& text) {
    require(text.empty() || text.back() == '\n', "a stream's last line has no newline");
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

bool isFailureLine(const std::string& line) {
    for (const char* message : kFailures) {
        if (line == kFailurePrefix + std::string(message)) {
            return true;
        }
    }
    return false;
}

void checkEnd(int status, const std::string& outText, const std::string& errText) {
    const std::vector<std::string> out = lines(outText);
    const std::vector<std::string> err = lines(errText);
    std::size_t failures = 0;
    for (const std::string& line : err) {
        if (line.rfind(kFailurePrefix, 0) == 0) {
            require(isFailureLine(line), "a failure that is not one of the tool's messages");
            ++failures;
        } else {
            require(line == kWarning, "standard error has a line that is neither a failure nor the warning");
        }
    }
    std::size_t dones = 0;
    for (const std::string& line : out) {
        dones += line == "Done." ? 1 : 0;
    }
    if (status == 0) {
        require(failures == 0, "a run with status 0 reported a failure");
        require(dones == 1 && out.back() == "Done.", "a run with status 0 does not end with Done.");
    } else {
        require(status == 1, "an exit status other than 0 and 1");
        require(failures == 1 && isFailureLine(err.back()), "a failed run does not end with its one failure");
        require(dones == 0, "a failed run said Done.");
    }
}

// A C stream that keeps what is written to it in memory.
struct MemoryStream {
    MemoryStream() : file(open_memstream(&buffer, &size)) { require(file != nullptr, "open_memstream failed"); }
    ~MemoryStream() {
        std::fclose(file);
        std::free(buffer);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    std::string text() {
        std::fflush(file);
        return std::string(buffer, size);
    }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file;
};

void removeFolder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (fs::temp_directory_path() / "vexa-fuzz-XXXXXX").string();
    require(mkdtemp(pattern.data()) != nullptr, "cannot create a temporary folder");
    folder = pattern;
    std::atexit(removeFolder);
    stateFile = folder / "sim.state";
    std::ofstream(folder / "sim.conf") << kMachine;
    setenv("VEXA_SIM_CONFIG", (folder / "sim.conf").c_str(), 1);
    setenv("VEXA_SIM_STATE", stateFile.c_str(), 1);
    unsetenv("VEXA_SIM_TRACE");
    unsetenv("VEXA_SIM_FAIL_CALL");
    // Loads the library now, so that what it keeps for the whole process is not taken
    // for a leak of the first input.
    require(vexa::hal::VHalGetMaxDevices() == kSlots, "the simulated hardware library did not load");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::error_code ignored;
    fs::remove(stateFile, ignored); // the chips as configured

    std::vector<std::string> arguments = {"vexa-gpio"};
    if (size > 0) {
        const std::string text(reinterpret_cast<const char*>(data), size);
        for (std::size_t start = 0;;) {
            const std::size_t end = text.find('\0', start);
            arguments.push_back(text.substr(start, end - start));
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }

    MemoryStream out;
    MemoryStream err;
    const int status = vexa::runCommandLine(arguments, out.file, err.file);
    checkEnd(status, out.text(), err.text());

    // A board the run left open would refuse to open again in this process.
    for (std::int32_t board = 0; board < kBoards; ++board) {
        const vexa::hal::BoardHandle handle = vexa::hal::VHalInitDevice(board);
        require(handle != nullptr, "the run left a board open");
        vexa::hal::VHalFreeDevice(handle);
    }
    return 0;
}
