#pragma once
// The standard descriptors 0, 1 and 2 as the process finds them at start, and what a
// write to a pipe whose reader has gone does to the process.

namespace vexa::templates::platform {

// Opens each of descriptors 0, 1 and 2 that is closed on the null device, so that no
// file a library opens later can take its number and receive what the tool prints.
// A closed standard output gets the null device opened for reading only: writing to
// it fails, so a run without a standard output ends as one whose output is lost.
// Call it first in main. Nothing to do on Windows, whose handles have no such numbers.
void reserveStandardDescriptors();

// Makes a write to a pipe whose reader has gone fail with EPIPE instead of ending the
// process by SIGPIPE at once, so that the run stops through its failure path and
// releases the board. Nothing to do on Windows, where such a write already fails.
void ignoreBrokenPipes();

// Makes a write past the file-size limit (ulimit -f) fail with EFBIG instead of ending
// the process by SIGXFSZ at once, so that the run stops through its failure path and
// releases the board. Nothing to do on Windows, which has no such signal.
void ignoreFileSizeLimitSignal();

// Whether a write that failed with `error` (an errno value) failed because the reader
// of the pipe has gone. Never on Windows.
bool isBrokenPipe(int error);

// Ends the process as SIGPIPE's default action would have ended it at the failed
// write (status 141 in a shell, no message): what callers of a tool in a pipeline
// expect. Call it once everything is released. Returns only where SIGPIPE cannot end
// the process (on Windows, or when something keeps the signal from being delivered).
void endByBrokenPipe();

} // namespace vexa::templates::platform
