#include "app/CommandLine.h"
#include "hal/LibrarySearch.h"
#include "hal/StandardDescriptors.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // First of all: no file that a library opens may take the number of a closed
    // standard stream and receive the report.
    vexa::templates::platform::reserveStandardDescriptors();
    vexa::templates::platform::excludeCurrentDirectoryFromLibrarySearch();
    const std::vector<std::string> arguments(argv, argv + argc);
    return vexa::runCommandLine(arguments, stdout, stderr);
}
