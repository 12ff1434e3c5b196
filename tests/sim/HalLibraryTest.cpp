// Loads the built stand-in libraries the way the tool does and calls their entry points.

#include "SimTestSupport.h"
#include "support/Text.h"
#include "vexa/vexa_hal.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace vexa::sim {
namespace {

using testing::TempDir;

template <typename Function>
Function entryPoint(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

TEST(HalLibrary, ExportsTheEntryPointsAndWorksThroughThem) {
    const TempDir folder;
    const SimEnvironment environment =
        folder.environment("write-cycle-ms 0\nslots 2\nboard 1 type 0x7510\nexpander 1 IOS1 DS4510\n");
    setenv("VEXA_SIM_CONFIG", environment.configPath.c_str(), 1);
    setenv("VEXA_SIM_STATE", environment.statePath.c_str(), 1);
    setenv("VEXA_SIM_TRACE", environment.tracePath.c_str(), 1);
    unsetenv("VEXA_SIM_FAIL_CALL");

    void* library = dlopen(VEXA_SIM_HAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto getMaxDevices = entryPoint<VHalGetMaxDevicesFn>(library, "VHalGetMaxDevices");
    const auto initDevice = entryPoint<VHalInitDeviceFn>(library, "VHalInitDevice");
    const auto freeDevice = entryPoint<VHalFreeDeviceFn>(library, "VHalFreeDevice");
    const auto boardInfo = entryPoint<VHalGetBoardInfoIntFn>(library, "VHalGetBoardInfoInt");
    const auto boardIndex = entryPoint<VHalGetBoardIndexFn>(library, "VHalGetBoardIndex");
    const auto readConfig = entryPoint<VHalReadConfigFn>(library, "VHalReadConfig");
    const auto writeConfig = entryPoint<VHalWriteConfigFn>(library, "VHalWriteConfig");
    ASSERT_TRUE(getMaxDevices && initDevice && freeDevice && boardInfo && boardIndex && readConfig && writeConfig);
    EXPECT_EQ(dlsym(library, "_ZN4vexa3sim9Simulator8openBoardEi"), nullptr) << "internals stay hidden";

    EXPECT_EQ(getMaxDevices(), 2);
    EXPECT_EQ(initDevice(0), nullptr);
    void* board = initDevice(1);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(boardInfo(board, "board/type"), 0x7510);
    EXPECT_EQ(boardIndex(board, 0), 1);
    const std::uint8_t controls[4] = {0x01, 0x01, 0x00, 0x01};
    EXPECT_EQ(writeConfig(board, controls, 4, kIOS1, 0xF4), 4);
    std::uint8_t status = 0xFF;
    EXPECT_EQ(readConfig(board, &status, 1, kIOS1, 0xF8), 1);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(readConfig(board, &status, 1, kIOS0, 0x00), -5);
    EXPECT_EQ(freeDevice(board), 0);

    EXPECT_NE(folder.read("state").find("expander 1 0x494F5331 DS4510\n"), std::string::npos);
    std::istringstream traced(folder.read("trace"));
    std::string trace;
    for (std::string line; std::getline(traced, line);) {
        trace += test::withoutTiming(line) + "\n";
    }
    EXPECT_EQ(trace, "VHalGetMaxDevices() = 2\n"
                                    "VHalInitDevice(0) = null\n"
                                    "VHalInitDevice(1) = board1\n"
                                    "VHalGetBoardInfoInt(board1, \"board/type\") = 29968\n"
                                    "VHalGetBoardIndex(board1, 0) = 1\n"
                                    "VHalWriteConfig(board1, IOS1, 0xF4, 4) = 4 [01 01 00 01]\n"
                                    "VHalReadConfig(board1, IOS1, 0xF8, 1) = 1 [00]\n"
                                    "VHalReadConfig(board1, IOS0, 0x00, 1) = -5\n"
                                    "VHalFreeDevice(board1) = 0\n");
}

TEST(HalLibrary, TheVariantsLackOneEntryPointEach) {
    void* noWrite = dlopen(VEXA_SIM_HAL_NOWRITE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    void* noInit = dlopen(VEXA_SIM_HAL_NOINIT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(noWrite, nullptr) << dlerror();
    ASSERT_NE(noInit, nullptr) << dlerror();
    EXPECT_EQ(dlsym(noWrite, "VHalWriteConfig"), nullptr);
    EXPECT_NE(dlsym(noWrite, "VHalInitDevice"), nullptr);
    EXPECT_EQ(dlsym(noInit, "VHalInitDevice"), nullptr);
    EXPECT_NE(dlsym(noInit, "VHalWriteConfig"), nullptr);
}

} // namespace
} // namespace vexa::sim
