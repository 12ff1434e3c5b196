#include "Trace.h"

#include "Format.h"
#include "Platform.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace vexa::sim {

namespace {

// Set when the library is loaded, with the process or soon after it starts.
const std::chrono::steady_clock::time_point kLoaded = std::chrono::steady_clock::now();

} // namespace

TraceFile::TraceFile(std::string path, std::ostream& errorStream) : filePath(std::move(path)), errors(errorStream) {}

void TraceFile::append(const std::string& line, const std::string& note) {
    if (filePath.empty()) {
        return;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - kLoaded);
    try {
        appendToFile(filePath, line + kTraceNoteMark + std::to_string(elapsed.count()) + " ms" +
                                   (note.empty() ? "" : ", " + note) + "\n");
    } catch (const std::runtime_error& failure) {
        if (!failureReported) {
            printLine(errors, std::string("vexa-sim: trace: ") + failure.what());
            failureReported = true;
        }
    }
}

} // namespace vexa::sim
