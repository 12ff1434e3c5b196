#include "CommandLine.h"

#include "app/BoardCommands.h"
#include "app/NumberConversion.h"
#include "app/Output.h"
#include "hal/HalEntryPoints.h"

#include <cstdint>
#include <stdexcept>

namespace vexa {

namespace {

struct OptionName {
    const char* shortForm;
    const char* longForm;
    Option option;
};

constexpr OptionName kOptionNames[] = {
    {"-h", "-help", Option::Help},       {"-b", "-board", Option::Board}, {"-f", "-force", Option::Force},
    {"-g", "-get", Option::Get},         {"-s", "-set", Option::Set},     {"-v", "-verbose", Option::Verbose},
    {"-x", "-exclude", Option::Exclude},
};

const char* const kUsageLines[] = {
    "Options:",
    "\t-b[oard] <board_index>",
    "\t\tUse board at <board_index>",
    "\t-f[orce]",
    "\t\tForce progam GPIO bank settings (does not imply -s)",
    "\t-g[et]",
    "\t\tRead and show GPIO bank settings",
    "\t-s[et] <bank>:<settings> [..]",
    "\t\tProgram GPIO bank settings",
    "\t\t<bank> is the bank number, or \"all\" to set all banks",
    "\t\t<settings> is in the form <signal>,<pull-up-down>,<inversion>",
    "\t\t<signal> is either \"ds|differential\", or \"se|single-ended\"",
    "\t\t<pull-up-down> is either \"pu|pull-up\", or \"pd|pull-down\"",
    "\t\t<inversion> is either \"in[verted]\", or \"ni|not-inverted\"",
    "\t\tAlternatively, \"default\" can be used for <settings> to set the",
    "\t\tdefault values for the bank, or \"clear|dip-switch\" can be used",
    "\t\tto control the settings on the GPIO extension",
    "\t\tboard via the dip-switch (bank settings will be erased)",
    "\t-x | -exclude",
    "\t\tExclude optional GPIO banks (must be set before -b to be effective)",
    "\t-v[erbose]",
    "\t\tVerbose output",
};

void printUsage(const std::string& programPath, std::FILE* out) {
    printLine(out, "Usage: " + programPath + "<options>");
    for (const char* line : kUsageLines) {
        printLine(out, line);
    }
}

// The run's state besides the selected board.
struct RunFlags {
    bool verbose = false;
    bool exclude = false;
    bool force = false;
};

} // namespace

Option matchOption(std::string argument) {
    if (argument.compare(0, 2, "--") == 0) {
        argument.erase(0, 1);
    }
    for (const OptionName& name : kOptionNames) {
        if (argument == name.shortForm || argument == name.longForm) {
            return name.option;
        }
    }
    return Option::Unknown;
}

bool isOptionArgument(const std::vector<std::string>& arguments, std::size_t index) {
    return index < arguments.size() && !arguments[index].empty() && arguments[index][0] != '-';
}

int runCommandLine(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    BoardCommands board(out, err);
    RunFlags flags;
    int status = 0;
    try {
        // The first library call: it loads the library. Widened so that no slot
        // count the library may report can overflow.
        const std::int64_t highestBoardIndex = std::int64_t{hal::VHalGetMaxDevices()} - 1;
        std::size_t index = 1;
        while (index < arguments.size()) {
            const bool hasArgument = isOptionArgument(arguments, index + 1);
            switch (matchOption(arguments[index])) {
            case Option::Help:
                printUsage(arguments.front(), out);
                index += 1;
                break;
            case Option::Board: {
                if (!hasArgument) {
                    throw std::runtime_error("Missing argument for option");
                }
                const std::int32_t number = toInt32Saturating(arguments[index + 1]);
                if (number < 0 || number > highestBoardIndex) {
                    throw std::runtime_error("Invalid board index");
                }
                board.select(number, flags.exclude, flags.verbose);
                index += 2;
                break;
            }
            case Option::Force:
                flags.force = true;
                index += 1;
                break;
            case Option::Verbose:
                flags.verbose = true;
                index += 1;
                break;
            case Option::Exclude:
                flags.exclude = true;
                index += 1;
                break;
            case Option::Get:
                board.get();
                index += 1;
                break;
            case Option::Set: {
                std::vector<std::string> settingArguments;
                for (std::size_t next = index + 1; isOptionArgument(arguments, next); ++next) {
                    settingArguments.push_back(arguments[next]);
                }
                board.set(settingArguments, flags.force);
                index += 1 + settingArguments.size();
                break;
            }
            case Option::Unknown:
                throw std::runtime_error("Unknown option");
            }
        }
        printLine(out, "Done.");
    } catch (const std::exception& e) {
        printErrorLine(err, std::string("Exception caught: ") + e.what());
        status = 1;
    }
    board.release();
    return status;
}

} // namespace vexa
