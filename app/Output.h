#pragma once
// Line output of the tool: every line is ended with a newline and flushed at once, so
// that standard output and standard error interleave as they happen.

#include <cstdio>
#include <string>

namespace vexa {

// Writes one line to the tool's standard output. A line that cannot be written (a full
// disk, a closed descriptor) ends the run like any other failure: a report lost
// without a word must never look like a successful run.
void printLine(std::FILE* out, const std::string& text);

// Writes one line to standard error. Nothing is left to tell a failure to, so it is
// not checked; the exit status still tells the caller.
void printErrorLine(std::FILE* err, const std::string& text);

} // namespace vexa
