#pragma once
// Helpers of the simulator tests: a private temporary folder, files in it, and a
// simulator environment that points only there.

#include "sim/Config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace vexa::sim::testing {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() / ("vexa-sim-test-" + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path / name).string(); }

    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }

    std::string read(const std::string& name) const {
        std::ifstream input(file(name), std::ios::binary);
        std::ostringstream text;
        text << input.rdbuf();
        return text.str();
    }

    // Everything inside this folder, and the given configuration text.
    SimEnvironment environment(const std::string& configText) const {
        SimEnvironment result;
        result.configPath = write("sim.conf", configText);
        result.statePath = file("state");
        result.tracePath = file("trace");
        return result;
    }

private:
    std::filesystem::path path;
};

inline Config configFrom(const std::string& text) {
    std::istringstream input(text);
    return parseConfig(input, "test.conf");
}

} // namespace vexa::sim::testing
