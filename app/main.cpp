#include "app/CommandLine.h"
#include "hal/LibrarySearch.h"
#include "hal/LineOutput.h"
#include "hal/StandardDescriptors.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // First of all: no file that a library opens may take the number of a closed
    // standard stream and receive the report.
    vexa::templates::platform::reserveStandardDescriptors();
    vexa::templates::platform::excludeCurrentDirectoryFromLibrarySearch();
    // A reader that goes away, or a file that reaches its size limit, must not end the
    // run before the board is released.
    vexa::templates::platform::ignoreBrokenPipes();
    vexa::templates::platform::ignoreFileSizeLimitSignal();
    const std::vector<std::string> arguments(argv, argv + argc);
    const int status = vexa::runCommandLine(arguments, stdout, stderr);
    if (status == vexa::hal::kReaderGoneStatus) {
        // Everything is released: now end as callers of a tool in a pipe expect.
        vexa::templates::platform::endByBrokenPipe();
    }
    return status;
}
