#include "SimCommand.h"

#include "Format.h"

#include <exception>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in '\n' alone, as on every other system.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    try {
        return vexa::sim::runSimCommand(std::vector<std::string>(argv + 1, argv + argc),
                                        vexa::sim::SimEnvironment::fromProcess(), std::cin, std::cout,
                                        std::cerr);
    } catch (const std::exception& error) {
        vexa::sim::printLine(std::cerr, std::string("vexa-sim: ") + error.what());
        return vexa::sim::kExitFailure;
    }
}
