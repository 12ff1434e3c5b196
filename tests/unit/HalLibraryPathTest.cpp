#include "hal/detail/HalEntryPoints.h"
#include "hal/detail/InstallationDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using vexa::hal::kDirectoryBufferSize;
using vexa::hal::detail::formatHalLibraryPath;

TEST(LibraryPath, FollowsTheDirectoryAndNeverOverrunsItsBuffer) {
#ifdef _WIN32
    const std::string suffix = "\\bin\\vexa_hal.dll";
#else
    const std::string suffix = "/bin/libvexa_hal.so";
#endif
    char path[kDirectoryBufferSize + 16];
    for (const char* directory : {"D:\\X", "", "/opt/vexa"}) {
        ASSERT_TRUE(formatHalLibraryPath(path, kDirectoryBufferSize, directory));
        EXPECT_EQ(std::string(directory) + suffix, path);
    }
    const std::size_t longestFitting = kDirectoryBufferSize - 1 - suffix.size();
    EXPECT_TRUE(formatHalLibraryPath(path, kDirectoryBufferSize, std::string(longestFitting, 'd').c_str()));
    const std::string canary(16, '#');
    for (std::size_t length : {longestFitting + 1, std::size_t{2000}}) {
        std::copy(canary.begin(), canary.end(), path + kDirectoryBufferSize);
        EXPECT_FALSE(formatHalLibraryPath(path, kDirectoryBufferSize, std::string(length, 'd').c_str()));
        EXPECT_EQ(canary, std::string(path + kDirectoryBufferSize, canary.size())) << length;
    }
}

} // namespace
