#pragma once
// vexa-sim: shows and controls the simulated boards (show, power-cycle, reset, get, set, help, -h, --help).

#include "Config.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace vexa::sim {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The change was made, but its confirmation could not be written to standard output.
constexpr int kExitUnconfirmed = 3;

// Runs one command given its arguments (without the program name); returns the exit status:
// kExitUsage, with what is wrong and a pointer to --help on `errors`, for a command line it
// cannot take. `in` is what
// `load` reads; the form without it gives an empty input.
int runSimCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::istream& in,
                  std::ostream& out, std::ostream& errors);
int runSimCommand(const std::vector<std::string>& arguments, const SimEnvironment& environment, std::ostream& out,
                  std::ostream& errors);

} // namespace vexa::sim
