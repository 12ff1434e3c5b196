#include "CommandLine.h"

#include "app/BoardCommands.h"
#include "app/NumberConversion.h"
#include "hal/LineOutput.h"
#include "hal/HalEntryPoints.h"

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace vexa {

namespace {

enum class Option { Help, Board, Force, Get, Set, Verbose, Exclude, Unknown };

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

} // namespace

void printUsage(const std::string& programPath, std::FILE* out) {
    hal::printLine(out, {"Usage: ", programPath, "<options>"});
    for (const char* line : kUsageLines) {
        hal::printLine(out, {line});
    }
}

namespace {

// Matches one argument in option position: exact and case-sensitive, short or long
// form, with one leading minus dropped from "--" forms.
Option matchOption(std::string_view argument) {
    if (argument.substr(0, 2) == "--") {
        argument.remove_prefix(1);
    }
    for (const OptionName& name : kOptionNames) {
        if (argument == name.shortForm || argument == name.longForm) {
            return name.option;
        }
    }
    return Option::Unknown;
}

// Whether arguments[index] exists and can be an option's argument (not empty, not
// starting with '-').
bool isOptionArgument(const std::vector<std::string>& arguments, std::size_t index) {
    return index < arguments.size() && !arguments[index].empty() && arguments[index][0] != '-';
}

// What the options met so far have set, and where their output goes.
struct RunState {
    BoardCommands& board;
    std::FILE* out;
    std::int64_t highestBoardIndex;
    bool verbose = false;
    bool exclude = false;
    bool force = false;
};

void selectBoard(RunState& run, const std::string& argument) {
    const std::int32_t number = toInt32Saturating(argument);
    if (number < 0 || number > run.highestBoardIndex) {
        throw std::runtime_error("Invalid board index");
    }
    run.board.select(number, run.exclude, run.verbose);
}

// The arguments of "-set": all that follow it and can be an option's argument.
std::vector<std::string> settingArgumentsFrom(const std::vector<std::string>& arguments, std::size_t first) {
    std::vector<std::string> settingArguments;
    for (std::size_t next = first; isOptionArgument(arguments, next); ++next) {
        settingArguments.push_back(arguments[next]);
    }
    return settingArguments;
}

// Carries out the option at arguments[index]; returns how many arguments it used,
// itself included.
std::size_t carryOut(RunState& run, const std::vector<std::string>& arguments, std::size_t index) {
    switch (matchOption(arguments[index])) {
    case Option::Help:
        printUsage(arguments.front(), run.out);
        return 1;
    case Option::Board:
        if (!isOptionArgument(arguments, index + 1)) {
            throw std::runtime_error("Missing argument for option");
        }
        selectBoard(run, arguments[index + 1]);
        return 2;
    case Option::Force:
        run.force = true;
        return 1;
    case Option::Verbose:
        run.verbose = true;
        return 1;
    case Option::Exclude:
        run.exclude = true;
        return 1;
    case Option::Get:
        run.board.get();
        return 1;
    case Option::Set: {
        const std::vector<std::string> settingArguments = settingArgumentsFrom(arguments, index + 1);
        run.board.set(settingArguments, run.force);
        return 1 + settingArguments.size();
    }
    case Option::Unknown:
        break;
    }
    throw std::runtime_error("Unknown option");
}

void runOptions(BoardCommands& board, const std::vector<std::string>& arguments, std::FILE* out) {
    // The first library call: it loads the library. Widened so that no slot count the
    // library may report can overflow.
    RunState run{board, out, std::int64_t{hal::VHalGetMaxDevices()} - 1};
    for (std::size_t index = 1; index < arguments.size();) {
        index += carryOut(run, arguments, index);
    }
}

} // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    BoardCommands board(out, err);
    int status = 0;
    try {
        runOptions(board, arguments, out);
        hal::printLine(out, {"Done."});
    } catch (const hal::ReaderGone&) {
        // Nobody reads any more: the run ends without a word, as by SIGPIPE (see main).
        status = hal::kReaderGoneStatus;
    } catch (const std::exception& e) {
        hal::printErrorLine(err, {"Exception caught: ", e.what()});
        status = 1;
    }
    board.release();
    return status;
}

} // namespace vexa
