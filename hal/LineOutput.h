#pragma once
// Line output of the tool: every line is ended with a newline and flushed at once, so
// that standard output and standard error interleave as they happen.

#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace vexa::hal {

// The text of one line, given as the pieces it is made of.
using LinePieces = std::initializer_list<std::string_view>;

// The exit status of a run that stopped because the reader of its standard output went
// away: that of a process ended by SIGPIPE (128 + 13).
constexpr int kReaderGoneStatus = 141;

// A line of standard output could not be written because the pipe's reader has gone.
class ReaderGone : public std::runtime_error {
public:
    ReaderGone() : std::runtime_error("Failed to write standard output") {}
};

// Writes one line to the tool's standard output. A line that cannot be written (a full
// disk, a closed descriptor) ends the run like any other failure: a report lost
// without a word must never look like a successful run. Throws ReaderGone when the
// reader of a pipe has gone, std::runtime_error for any other failure.
void printLine(std::FILE* out, LinePieces pieces);

// Writes one line to standard error. Nothing is left to tell a failure to, so it is
// not checked; the exit status still tells the caller.
void printErrorLine(std::FILE* err, LinePieces pieces);

} // namespace vexa::hal
