#pragma once
// Runs one program as a child process and collects its two output streams and its
// exit status, with a time limit so that a hung program fails a test instead of
// hanging the run.

#include <chrono>
#include <string>
#include <vector>

namespace vexa::e2e {

struct ProcessResult {
    std::string out;
    std::string err;
    int status = -1;        // exit status; -1 when the process did not exit normally
    int signal = 0;         // the signal that ended it, if one did
    bool timedOut = false;  // killed because it ran past the time limit
    std::string spawnError; // why it could not be started; empty when it was
};

// Where a child's standard output or error goes: a pipe that the result collects, the
// full device (every write fails), nowhere (the descriptor is closed), a pipe whose
// reader is gone before the child starts (every write fails with EPIPE), or a pipe
// whose reader goes away as soon as the child has started (its first writes race
// with the reader's going).
enum class Sink { Pipe, FullDevice, Closed, DeadPipe, ReaderQuits };

// `command[0]` is the program's path (no PATH search); `environment` is the whole
// environment of the child, "NAME=value" each. The child starts in
// `workingDirectory`, with /dev/null as standard input, and with SIGPIPE blocked when
// `pipeSignalBlocked`, as some shells and test runners start their commands.
ProcessResult runProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                         const std::string& workingDirectory, std::chrono::milliseconds timeLimit,
                         Sink out = Sink::Pipe, Sink err = Sink::Pipe, bool pipeSignalBlocked = false);

} // namespace vexa::e2e
