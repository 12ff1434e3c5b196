// The process runner itself, on the paths that a well-behaved tool never takes.

#include "Harness.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace vexa::e2e {
namespace {

// The runner is the same whichever build the cases run.
// GTEST_SKIP only leaves the function it is written in, so each test skips itself.
#define SKIP_UNLESS_LINUX()                                                         \
    if (platform().windows) {                                                       \
        GTEST_SKIP() << "the process runner is checked with the Linux cases";      \
    }

std::string currentDirectory() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
}

TEST(ProcessRunner, ReadsBothStreamsInFullWhileTheProgramRuns) {
    SKIP_UNLESS_LINUX();
    // Far more than a pipe holds, standard error first: a runner that read standard
    // output to its end before the other stream would wait for ever.
    const char* script = "head -c 300000 /dev/zero | tr '\\0' e >&2;"
                         "head -c 300000 /dev/zero | tr '\\0' o;"
                         "exit 3";
    const ProcessResult result = runProcess({"/bin/sh", "-c", script}, {"PATH=/usr/bin:/bin"}, currentDirectory(),
                                            std::chrono::seconds(10));
    EXPECT_EQ(std::string(300000, 'o'), result.out);
    EXPECT_EQ(std::string(300000, 'e'), result.err);
    EXPECT_EQ(3, result.status);
    EXPECT_FALSE(result.timedOut);
}

TEST(ProcessRunner, KillsAProgramThatRunsPastItsTimeLimit) {
    SKIP_UNLESS_LINUX();
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult result =
        runProcess({"/bin/sleep", "30"}, {}, currentDirectory(), std::chrono::milliseconds(200));
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(-1, result.status);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(ProcessRunner, ReportsAProgramThatCannotBeStarted) {
    SKIP_UNLESS_LINUX();
    const ProcessResult result = runProcess({"/nonexistent/program"}, {}, currentDirectory(), std::chrono::seconds(1));
    EXPECT_NE("", result.spawnError);
}

} // namespace
} // namespace vexa::e2e
