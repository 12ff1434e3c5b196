// Runs from a staged installation (see StageInstallation.cmake): the test program sits
// in <stage>/bin beside the library variant its scenario names, or in a folder with no
// installation component at all, so the loader finds what a user's tool would find.

#include "hal/HalEntryPoints.h"
#include "hal/InstallationDirectory.h"
#include "hal/Platform.h"
#include "hal/detail/HalEntryPoints.h"
#include "support/Environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace vexa::hal;
using vexa::test::setVariable;
using vexa::test::variable;

// The number of descriptors the process holds; 0 where the system does not list them
// (under Wine, /proc lists Wine's own, which come and go).
std::size_t openDescriptors() {
#ifdef _WIN32
    return 0;
#else
    std::error_code error;
    std::filesystem::directory_iterator listing("/proc/self/fd", error);
    return error ? 0 : static_cast<std::size_t>(std::distance(listing, std::filesystem::directory_iterator()));
#endif
}

TEST(Loader, CompleteLibraryIsLoadedOncePerProcess) {
    const std::int32_t slots = VHalGetMaxDevices();
    EXPECT_GT(slots, 0);
    EXPECT_EQ(slots, VHalGetMaxDevices());
    BoardHandle board = VHalInitDevice(0);
    ASSERT_NE(nullptr, board);
    EXPECT_EQ(0, VHalGetBoardIndex(board, 0));
    VHalFreeDevice(board);
    EXPECT_EQ(1u, detail::loadAttempts());
}

// No library file, or a file of that name that is not a library.
// Each attempt gives back what it took.
TEST(Loader, UnloadableLibraryIsTriedAgainOnEveryCall) {
    std::size_t descriptors = 0;
    for (std::uint32_t call = 1; call <= 3; ++call) {
        EXPECT_EQ(kHalUnavailable, VHalGetMaxDevices());
        EXPECT_EQ(call, detail::loadAttempts());
        if (call > 1) {
            EXPECT_EQ(descriptors, openDescriptors()) << "after attempt " << call;
        }
        descriptors = openDescriptors();
    }
    EXPECT_EQ(nullptr, VHalInitDevice(0));
    EXPECT_EQ(kHalUnavailable, VHalReadConfig(nullptr, nullptr, 1, 0, 0));
}

// A library that others may write is refused like one that cannot be loaded, and the
// line that says why comes once, however often the loader tries again.
TEST(Loader, DistrustedLibraryIsTriedAgainOnEveryCallAndNamedOnce) {
    testing::internal::CaptureStderr();
    std::size_t descriptors = 0;
    for (std::uint32_t call = 1; call <= 3; ++call) {
        EXPECT_EQ(kHalUnavailable, VHalGetMaxDevices());
        EXPECT_EQ(call, detail::loadAttempts());
        if (call > 1) {
            EXPECT_EQ(descriptors, openDescriptors()) << "after attempt " << call;
        }
        descriptors = openDescriptors();
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, said.find("vexa-gpio: not loading ")) << said;
    EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << said;
    EXPECT_NE(std::string::npos, said.find("/bin/libvexa_hal.so: others may write it\n")) << said;
}

// Loaded again on every call, without holding one more descriptor each time; the
// entry points it has stay usable.
TEST(Loader, LibraryWithoutInitDeviceIsReboundOnEveryCallAndItsOtherEntryPointsWork) {
    const std::int32_t slots = VHalGetMaxDevices();
    EXPECT_GT(slots, 0);
    EXPECT_EQ(1u, detail::loadAttempts());
    const std::size_t descriptors = openDescriptors();
    for (std::uint32_t call = 2; call <= 10; ++call) {
        EXPECT_EQ(slots, VHalGetMaxDevices());
        EXPECT_EQ(call, detail::loadAttempts());
    }
    EXPECT_EQ(descriptors, openDescriptors());
    EXPECT_EQ(nullptr, VHalInitDevice(0));
    EXPECT_EQ(11u, detail::loadAttempts());
}

TEST(Loader, WithoutInstallationDirectoryNothingIsLoadedUntilTheEnvironmentNamesOne) {
    EXPECT_EQ(nullptr, getInstallationDirectory());
    EXPECT_EQ(kHalUnavailable, VHalGetMaxDevices());
    EXPECT_EQ(kHalUnavailable, VHalGetMaxDevices());
    EXPECT_EQ(0u, detail::loadAttempts());

    // After a null result the discovery runs again: a variable set now is found.
    const std::string installation = variable("VEXA_TEST_INSTALLATION");
    ASSERT_FALSE(installation.empty());
    setVariable("VEXADIR5", installation + std::string(3, kPathSeparator));
    EXPECT_GT(VHalGetMaxDevices(), 0);
    EXPECT_EQ(installation, getInstallationDirectory());
    EXPECT_EQ(1u, detail::loadAttempts());

    // Once found, the directory no longer follows the environment.
    setVariable("VEXADIR5", installation + "-elsewhere");
    EXPECT_EQ(installation, getInstallationDirectory());
}

} // namespace
