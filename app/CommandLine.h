#pragma once
// The argument loop: options are read strictly from left to right and each is
// carried out when it is met.

#include <cstdio>
#include <string>
#include <vector>

namespace vexa {

// Runs the tool on a whole command line (arguments[0] is the program path). The usage
// text, verbose lines, report and "Done." go to `out`; failures and the report's
// warning to `err`. Returns the exit status: 1 when the run ended with a failure,
// a standard output that could not be written included; kReaderGoneStatus, with
// nothing printed, when the reader of a pipe on `out` went away.
int runCommandLine(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

// Prints the usage text that "-help" prints.
void printUsage(const std::string& programPath, std::FILE* out);

} // namespace vexa
