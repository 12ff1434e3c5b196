#pragma once
// The trace file: one line per library call, appended with a single write so that
// lines of processes sharing the file never mix.

#include <ostream>
#include <string>

namespace vexa::sim {

class TraceFile {
public:
    // An empty path traces nothing. A failure to write is reported once on `errors`.
    TraceFile(std::string path, std::ostream& errors);

    // Appends the line and its '\n'.
    void append(const std::string& line);

private:
    std::string filePath;
    std::ostream& errors;
    bool failureReported = false;
};

} // namespace vexa::sim
