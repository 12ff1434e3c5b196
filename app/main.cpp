#include "app/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv, argv + argc);
    return vexa::runCommandLine(arguments, std::cout, std::cerr);
}
