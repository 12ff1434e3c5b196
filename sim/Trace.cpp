#include "Trace.h"

#include "Format.h"
#include "Platform.h"

#include <stdexcept>
#include <utility>

namespace vexa::sim {

TraceFile::TraceFile(std::string path, std::ostream& errorStream) : filePath(std::move(path)), errors(errorStream) {}

void TraceFile::append(const std::string& line) {
    if (filePath.empty()) {
        return;
    }
    try {
        appendToFile(filePath, line + "\n");
    } catch (const std::runtime_error& failure) {
        if (!failureReported) {
            printLine(errors, std::string("vexa-sim: trace: ") + failure.what());
            failureReported = true;
        }
    }
}

} // namespace vexa::sim
