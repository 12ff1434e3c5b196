#pragma once
// The trace file: one line per library call, appended with a single write so that
// lines of processes sharing the file never mix. Everything from kTraceNoteMark on is
// timing, which differs from run to run; the call and its result come before it.

#include <ostream>
#include <string>

namespace vexa::sim {

constexpr char kTraceNoteMark[] = "  # ";

class TraceFile {
public:
    // An empty path traces nothing. A failure to write is reported once on `errors`.
    TraceFile(std::string path, std::ostream& errors);

    // Appends the line, its timing and its '\n': "<line>  # <ms> ms[, <note>]", the
    // milliseconds since the library was loaded into the process.
    void append(const std::string& line, const std::string& note = "");

private:
    std::string filePath;
    std::ostream& errors;
    bool failureReported = false;
};

} // namespace vexa::sim
