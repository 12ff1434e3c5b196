#include "hal/detail/InstallationDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vexa::hal::copyEnvironmentDirectory;
using vexa::hal::cutToInstallationDirectory;
using vexa::hal::kDirectoryBufferSize;

struct WalkCase {
    const char* path;
    const char* expected; // null: no match
};

std::string slashes(std::string text) {
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        }
    }
    return text;
}

void expectWalk(const WalkCase& c, char separator) {
    std::string input = separator == '\\' ? c.path : slashes(c.path);
    std::vector<char> buffer(input.begin(), input.end());
    buffer.push_back('\0');
    const bool found = cutToInstallationDirectory(buffer.data(), separator);
    if (c.expected == nullptr) {
        EXPECT_FALSE(found) << input;
    } else {
        ASSERT_TRUE(found) << input;
        const std::string expected = separator == '\\' ? c.expected : slashes(c.expected);
        EXPECT_EQ(expected, buffer.data()) << input;
    }
}

const WalkCase kWalkCases[] = {
    {R"(D:\X\bin\tool.exe)", R"(D:\X)"},
    {R"(D:\X\bin\x64\tool.exe)", R"(D:\X)"},
    {R"(D:\X\BIN\tool.exe)", R"(D:\X)"},
    {R"(D:\X\Lib64\tool.exe)", R"(D:\X)"},
    {R"(D:\X\dll\tool.exe)", R"(D:\X)"},
    {R"(D:\X\lib\tool.exe)", R"(D:\X)"},
    {R"(D:\X\hardware morvets\a\tool.exe)", R"(D:\X)"},
    {R"(D:\lib\A\bin\tool.exe)", R"(D:\lib\A)"},
    {R"(D:\bin\tool.exe)", "D:"},
    {R"(D:\X\\\bin\tool.exe)", R"(D:\X)"},
    {R"(D:\X\bin\\\tool.exe)", R"(D:\X)"},
    {R"(D:\tool.exe)", nullptr},
    {R"(D:\X\binaries\tool.exe)", nullptr},
    {R"(bin\tool.exe)", nullptr},
    {R"(\tool.exe)", nullptr},
    {"tool.exe", nullptr},
    {"", nullptr},
};

TEST(InstallationDirectoryWalk, WindowsPaths) {
    for (const WalkCase& c : kWalkCases) {
        expectWalk(c, '\\');
    }
}

TEST(InstallationDirectoryWalk, SamePathsWithSlashes) {
    for (const WalkCase& c : kWalkCases) {
        expectWalk(c, '/');
    }
}

TEST(InstallationDirectoryWalk, RootFolderOfAnAbsoluteUnixPathIsCompared) {
    expectWalk({"/opt/vexa/bin/vexa-gpio", "/opt/vexa"}, '/');
    expectWalk({"/bin/vexa-gpio", ""}, '/');
    expectWalk({"/usr/local/vexa-gpio", nullptr}, '/');
}

TEST(EnvironmentDirectory, TrailingSeparatorsAreDroppedButNeverTheFirstCharacter) {
    const struct {
        const char* value;
        const char* expected;
    } cases[] = {
        {R"(E:\Soft\\)", R"(E:\Soft)"},
        {R"(E:\Soft)", R"(E:\Soft)"},
        {R"(\)", R"(\)"},
        {R"(\\\)", R"(\)"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char buffer[kDirectoryBufferSize];
        copyEnvironmentDirectory(buffer, c.value, '\\');
        EXPECT_STREQ(c.expected, buffer) << c.value;
    }
}

} // namespace
