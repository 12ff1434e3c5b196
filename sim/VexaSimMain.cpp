#include "SimCommand.h"

#include "Format.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "Platform.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

// The arguments as UTF-8 text, whatever the code page: on Windows they are read wide.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        std::vector<std::string> result;
        for (int i = 1; i < count; ++i) {
            result.push_back(vexa::sim::narrow(wide[i]));
        }
        LocalFree(wide);
        return result;
    }
#endif
    return std::vector<std::string>(argv + 1, argv + argc);
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in '\n' alone, as on every other system.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    try {
        return vexa::sim::runSimCommand(arguments(argc, argv), vexa::sim::SimEnvironment::fromProcess(), std::cin,
                                        std::cout, std::cerr);
    } catch (const std::exception& error) {
        vexa::sim::printLine(std::cerr, std::string("vexa-sim: ") + error.what());
        return vexa::sim::kExitFailure;
    }
}
