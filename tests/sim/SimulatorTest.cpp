#include "sim/Simulator.h"

#include "sim/Platform.h"
#include "sim/Trace.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vexa::sim {
namespace {

using namespace status;
using testing::configFrom;
using testing::TempDir;

const char kMachine[] = R"(write-cycle-ms 0
board 0 type 0x752
expander 0 IOS0 DS4520
expander 0 IOS1 DS4510
board 1 type 0x7510
expander 1 IOS0 DS4520
)";

// What one thread writes, for another thread to wait for.
class SharedText : public std::streambuf {
public:
    // Everything written once it holds a whole line, or after `limit` what there is.
    std::string firstLine(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, limit, [this] { return text.find('\n') != std::string::npos; });
        return text;
    }

protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        const std::lock_guard<std::mutex> lock(mutex);
        text.append(bytes, static_cast<std::size_t>(count));
        arrived.notify_all();
        return count;
    }
    int_type overflow(int_type byte) override {
        if (!traits_type::eq_int_type(byte, traits_type::eof())) {
            const char c = traits_type::to_char_type(byte);
            xsputn(&c, 1);
        }
        return traits_type::not_eof(byte);
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::string text;
};

// One simulated process after another, all on the same state file.
class SimulatorTest : public ::testing::Test {
protected:
    std::unique_ptr<Simulator> process(const std::string& text = kMachine) { return process(errors, text); }
    // A process of another thread says what it has to say to a stream of its own.
    std::unique_ptr<Simulator> process(std::ostream& to, const std::string& text = kMachine) {
        return std::make_unique<Simulator>(configFrom(text), folder.file("state"), to);
    }

    TempDir folder;
    std::ostringstream errors;
};

std::int32_t writeByte(Simulator& sim, std::int32_t board, std::uint32_t code, std::uint32_t address,
                       std::uint8_t value) {
    return sim.write(board, code, address, &value, 1);
}

// The byte read, or the failure status.
std::int32_t readByte(Simulator& sim, std::int32_t board, std::uint32_t code, std::uint32_t address) {
    std::uint8_t value = 0;
    const std::int32_t result = sim.read(board, code, address, &value, 1);
    return result < 0 ? result : value;
}

TEST_F(SimulatorTest, WhatOneProcessWritesTheNextFindsUntilPowerCycleOrReset) {
    {
        const auto first = process();
        ASSERT_EQ(first->openBoard(0), kOk);
        ASSERT_EQ(writeByte(*first, 0, kIOS0, 0xF4, 0x01), 1); // SEE set: SRAM only from now on
        ASSERT_EQ(writeByte(*first, 0, kIOS0, 0xF0, 0x07), 1);
        ASSERT_EQ(writeByte(*first, 0, kIOS1, 0xF7, 0x00), 1);
        EXPECT_EQ(first->closeBoard(0), kOk);
    }
    const auto second = process();
    ASSERT_EQ(second->openBoard(0), kOk);
    EXPECT_EQ(readByte(*second, 0, kIOS0, 0xF0), 0x07);
    std::uint8_t control = 0xAA;
    EXPECT_EQ(second->readAtBusAddress(0, 0xA2, 0xF7, &control, 1), 1);
    EXPECT_EQ(control, 0x00);

    EXPECT_EQ(second->powerCycle(0), kOk);
    EXPECT_EQ(readByte(*second, 0, kIOS0, 0xF0), 0x00) << "written while SEE was set";
    EXPECT_EQ(readByte(*second, 0, kIOS0, 0xF4), 0x00);
    EXPECT_EQ(readByte(*second, 0, kIOS1, 0xF7), 0x00) << "written to EEPROM";
    second->closeBoard(0);

    EXPECT_EQ(process()->reset(), kOk);
    const auto third = process();
    ASSERT_EQ(third->openBoard(0), kOk);
    EXPECT_EQ(readByte(*third, 0, kIOS1, 0xF7), 0x01);
    EXPECT_EQ(third->chip(1).memory.pageWrites[0xF0 / kPageSize], 0u);
}

TEST_F(SimulatorTest, SavingOneBoardKeepsOthersAndForeignChipsAreNotApplied) {
    {
        const auto first = process();
        ASSERT_EQ(first->openBoard(1), kOk);
        ASSERT_EQ(writeByte(*first, 1, kIOS0, 0x00, 0x11), 1);
        const auto second = process();
        ASSERT_EQ(second->openBoard(0), kOk);
        ASSERT_EQ(writeByte(*second, 0, kIOS1, 0xF0, 0x0F), 1);
    }
    const auto same = process();
    ASSERT_EQ(same->openBoard(1), kOk);
    EXPECT_EQ(readByte(*same, 1, kIOS0, 0x00), 0x11);

    const auto otherChip = process("write-cycle-ms 0\nboard 0 type 1\nexpander 0 IOS1 DS4520\n");
    ASSERT_EQ(otherChip->openBoard(0), kOk);
    EXPECT_EQ(readByte(*otherChip, 0, kIOS1, 0xF0), 0x00);
}

TEST_F(SimulatorTest, AnOpenerWaitsForTheBoardAndNoWriteIsLost) {
    const auto holder = process();
    ASSERT_EQ(holder->openBoard(0), kOk);
    std::atomic<bool> opened{false};
    SharedText waiterText;
    std::ostream waiterErrors(&waiterText);
    std::thread waiter([&] {
        const auto other = process(waiterErrors);
        opened = other->openBoard(0) == kOk;
    });
    // Past a second of waiting, the waiter says once for whom it waits; the board is
    // held until it has, however long the waiter took to start.
    const std::string said = waiterText.firstLine(std::chrono::seconds(60));
    EXPECT_FALSE(opened);
    holder->closeBoard(0);
    waiter.join();
    EXPECT_TRUE(opened);
#ifdef _WIN32
    const std::string holderId;
#else
    const std::string holderId = " (pid " + std::to_string(getpid()) + ")";
#endif
    EXPECT_EQ(said, "vexa-sim: board 0 is in use by another process" + holderId + "; waiting until it is released\n");

    // Each "process" adds one to a byte of user memory.
    std::vector<std::thread> runs;
    std::ostringstream runErrors[8];
    for (std::ostringstream& to : runErrors) {
        runs.emplace_back([&] {
            const auto run = process(to);
            if (run->openBoard(0) == kOk) {
                const std::int32_t value = readByte(*run, 0, kIOS0, 0x20);
                writeByte(*run, 0, kIOS0, 0x20, static_cast<std::uint8_t>(value + 1));
            }
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    const auto last = process();
    ASSERT_EQ(last->openBoard(0), kOk);
    EXPECT_EQ(readByte(*last, 0, kIOS0, 0x20), 8);
}

struct FaultCase {
    const char* options;
    std::vector<std::int32_t> results; // of alternating reads and writes, a read first
};

TEST_F(SimulatorTest, ExpanderFaultsFollowTheTransferCounts) {
    const FaultCase cases[] = {
        {"", {1, 1, 1, 1}},
        {"absent", {kNoAnswer, kNoAnswer}},
        {"answers 3", {1, 1, 1, kNoAnswer, kNoAnswer}},
        {"fail-read 2", {1, 1, kInjected, 1, 1}},
        {"fail-write 1", {1, kInjected, 1, 1}},
        {"busy refuse", {1, 1, kNoAnswer}}, // a write to user memory starts the write cycle
    };
    for (const FaultCase& c : cases) {
        const auto sim = process(std::string("board 0 type 1\nexpander 0 IOS0 DS4520 ") + c.options + "\n");
        ASSERT_EQ(sim->openBoard(0), kOk);
        std::vector<std::int32_t> results;
        std::uint8_t byte = 0;
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            results.push_back(i % 2 == 0 ? sim->read(0, kIOS0, 0x30, &byte, 1) : sim->write(0, kIOS0, 0x30, &byte, 1));
        }
        EXPECT_EQ(results, c.results) << c.options;
    }
}

TEST_F(SimulatorTest, RefusesBadTransfersWithoutCountingThem) {
    const auto sim = process("board 0 type 1\nexpander 0 IOS0 DS4520 fail-read 1\n");
    std::uint8_t buffer[300] = {};
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, buffer, 1), kBadHandle) << "board not open";
    ASSERT_EQ(sim->openBoard(0), kOk);
    EXPECT_EQ(sim->openBoard(0), kBusy);
    EXPECT_EQ(sim->openBoard(1), kNoBoard);
    EXPECT_EQ(sim->read(0, kIOS0, 0x100, buffer, 1), kBadArgument);
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, buffer, 0), kBadArgument);
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, buffer, 257), kBadArgument);
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, nullptr, 1), kBadArgument);
    EXPECT_EQ(sim->read(0, kIOS1, 0x00, buffer, 1), kNoAnswer);
    EXPECT_EQ(sim->readAtBusAddress(0, 0xA2, 0x00, buffer, 1), kNoAnswer);
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, buffer, 1), kInjected) << "the first read to reach the chip";
    EXPECT_EQ(sim->read(0, kIOS0, 0x00, buffer, 256), 256);
}

TEST_F(SimulatorTest, AnUnusableStateFileFailsTheCallAndChangesNothing) {
    folder.write("state", "vexa-sim state 1\nexpander 0 zero DS4520\n");
    const auto sim = process();
    EXPECT_EQ(sim->openBoard(0), kStateFailure);
    EXPECT_NE(errors.str().find("vexa-sim: " + folder.file("state") + ":2: bad number \"zero\""), std::string::npos)
        << errors.str();

    std::filesystem::remove(folder.file("state"));
    ASSERT_EQ(sim->openBoard(0), kOk);
    std::filesystem::create_directory(folder.file("state")); // cannot be read or replaced
    EXPECT_EQ(writeByte(*sim, 0, kIOS0, 0xF0, 0x05), kStateFailure);
    EXPECT_EQ(readByte(*sim, 0, kIOS0, 0xF0), 0x00);
}

struct NotASmallFileCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* problem;
};

// Each would block the caller or be read without end if it were read as a file.
TEST_F(SimulatorTest, StateAndConfigurationMustBeSmallRegularFiles) {
    const NotASmallFileCase cases[] = {
#ifndef _WIN32
        {"fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "not a regular file"},
        {"device", [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); },
         "not a regular file"},
#endif
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, "not a regular file"},
        {"over_1_MiB", [](const std::string& path) { std::ofstream(path) << std::string(kMaxFileSize + 1, '#'); },
         "larger than 1 MiB"},
    };
    for (const NotASmallFileCase& c : cases) {
        const std::string state = folder.file(std::string(c.name) + ".state");
        c.make(state);
        errors.str("");
        Simulator sim(configFrom(kMachine), state, errors);
        EXPECT_EQ(sim.openBoard(0), kStateFailure) << c.name;
        EXPECT_EQ(errors.str(), "vexa-sim: " + state + ": " + c.problem + "\n");
        if (std::string(c.problem) == "not a regular file") {
            errors.str("");
            EXPECT_EQ(sim.reset(), kStateFailure) << c.name << ": replaced";
            EXPECT_EQ(errors.str(), "vexa-sim: " + state + ": " + c.problem + "\n");
            // Refused before anything is made beside it.
            EXPECT_FALSE(std::filesystem::exists(state + ".lock")) << c.name;
            EXPECT_FALSE(std::filesystem::exists(state + ".board0.lock")) << c.name;
        }

        SimEnvironment environment;
        environment.configPath = folder.file(std::string(c.name) + ".conf");
        c.make(environment.configPath);
        try {
            loadConfig(environment);
            ADD_FAILURE() << c.name << " accepted as a configuration";
        } catch (const ConfigError& error) {
            EXPECT_EQ(std::string(error.what()), environment.configPath + ": " + c.problem);
        }
    }
#ifndef _WIN32
    EXPECT_FALSE(std::filesystem::exists("/dev/zero.board0.lock")) << "a lock file beside the device";
#endif
}

// Root may write anything: the modes must count for root too. A folder's read-only
// attribute means nothing on Windows.
TEST_F(SimulatorTest, AReadOnlyStateServesReadsAndRefusesEveryChange) {
    using std::filesystem::perms;
    const perms readOnly = perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                           perms::others_read | perms::others_exec;
#ifdef _WIN32
    const bool places[] = {false};
#else
    const bool places[] = {false, true};
#endif
    for (const bool wholeFolder : places) {
        const std::string place = folder.file(wholeFolder ? "folder" : "file");
        const std::string state = place + "/state";
        {
            Simulator first(configFrom(kMachine), state, errors);
            ASSERT_EQ(first.openBoard(0), kOk);
            ASSERT_EQ(writeByte(first, 0, kIOS0, 0xF0, 0x05), 1);
        }
        const std::string closed = wholeFolder ? place : state;
        const perms before = std::filesystem::status(closed).permissions();
        std::filesystem::permissions(closed, readOnly & before);
        const std::string saved = folder.read((wholeFolder ? "folder" : "file") + std::string("/state"));
        errors.str("");
        {
            Simulator sim(configFrom(kMachine), state, errors);
            ASSERT_EQ(sim.openBoard(0), kOk);
            EXPECT_EQ(readByte(sim, 0, kIOS0, 0xF0), 0x05);
            EXPECT_EQ(writeByte(sim, 0, kIOS0, 0xF0, 0x06), kStateFailure);
            EXPECT_EQ(readByte(sim, 0, kIOS0, 0xF0), 0x05);
            sim.closeBoard(0);
            EXPECT_EQ(sim.reset(), kStateFailure);
        }
        const std::string message =
            "vexa-sim: " + closed + (wholeFolder ? ": the folder is read-only\n" : ": the file is read-only\n");
        EXPECT_EQ(errors.str(), message + message);
        EXPECT_EQ(folder.read((wholeFolder ? "folder" : "file") + std::string("/state")), saved);
        EXPECT_EQ(std::filesystem::status(closed).permissions(), readOnly & before);
        std::filesystem::permissions(closed, before);
    }
}

// A state that someone else prepared in a folder nobody may write: it cannot change,
// so it is read without lock files, which could not be made there anyway.
TEST_F(SimulatorTest, AReadOnlyFolderWithoutLockFilesServesReadsWithoutMakingAny) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's read-only attribute means nothing on Windows";
#else
    ChipMemory memory = configFrom(kMachine).expanders[2].newMemory();
    memory.sram[0xF0] = 0x07;
    using std::filesystem::perms;
    std::filesystem::create_directory(folder.file("prepared"));
    const std::string state = folder.write("prepared/state", formatState({{1, kIOS0, ChipType::DS4520, memory}}));
    std::filesystem::permissions(folder.file("prepared"), perms::owner_read | perms::owner_exec | perms::group_read |
                                                              perms::group_exec | perms::others_read |
                                                              perms::others_exec);
    {
        Simulator reader(configFrom(kMachine), state, errors);
        ASSERT_EQ(reader.openBoard(1), kOk) << errors.str();
        EXPECT_EQ(readByte(reader, 1, kIOS0, 0xF0), 0x07);
        EXPECT_EQ(writeByte(reader, 1, kIOS0, 0xF0, 0x08), kStateFailure);
        reader.closeBoard(1);
        EXPECT_EQ(reader.reset(), kStateFailure);
    }
    const std::string message = "vexa-sim: " + folder.file("prepared") + ": the folder is read-only\n";
    EXPECT_EQ(errors.str(), message + message);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.file("prepared"))) {
        files.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"state"});
    std::filesystem::permissions(folder.file("prepared"), perms::owner_all);
#endif
}

// A state file that is a link stands for its target, wherever that lies.
TEST_F(SimulatorTest, ALinkedStateFileIsFollowedForReadingSavingAndLocking) {
#ifdef _WIN32
    GTEST_SKIP() << "links are followed on Linux";
#else
    std::filesystem::create_directory(folder.file("real"));
    std::filesystem::create_symlink("real/state", folder.file("link"));
    std::filesystem::create_symlink(folder.file("missing/state"), folder.file("dangling"));
    std::filesystem::create_symlink("loop", folder.file("loop"));
    {
        Simulator throughLink(configFrom(kMachine), folder.file("link"), errors);
        ASSERT_EQ(throughLink.openBoard(0), kOk) << errors.str();
        ASSERT_EQ(writeByte(throughLink, 0, kIOS0, 0xF0, 0x05), 1);
        Simulator throughTarget(configFrom(kMachine), folder.file("real/state"), errors);
        EXPECT_EQ(throughTarget.openBoard(0, std::chrono::milliseconds(50)), kBusy) << "not excluded";
        ASSERT_EQ(throughTarget.openBoard(1), kOk);
        ASSERT_EQ(writeByte(throughTarget, 1, kIOS0, 0xF0, 0x06), 1);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link"))) << "the link was replaced";
    Simulator later(configFrom(kMachine), folder.file("real/state"), errors);
    ASSERT_EQ(later.openBoard(0), kOk);
    EXPECT_EQ(readByte(later, 0, kIOS0, 0xF0), 0x05) << "lost by the run through the target";
    EXPECT_FALSE(std::filesystem::exists(folder.file("link.lock"))) << "locked beside the link";

    Simulator dangling(configFrom(kMachine), folder.file("dangling"), errors);
    ASSERT_EQ(dangling.openBoard(1), kOk) << errors.str();
    ASSERT_EQ(writeByte(dangling, 1, kIOS0, 0xF0, 0x09), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(folder.file("missing/state"))) << "the target was not made";
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("dangling")));

    Simulator loop(configFrom(kMachine), folder.file("loop"), errors);
    errors.str("");
    EXPECT_EQ(loop.openBoard(0), kStateFailure);
    EXPECT_EQ(errors.str(), "vexa-sim: " + folder.file("loop") + ": cannot open: Too many levels of symbolic links\n");
#endif
}

#ifndef _WIN32
constexpr uid_t kAnotherUser = 65534;

// A folder of the test's, with `mode` (sticky, writable by others), and its owner.
void shareFolder(const std::string& folder, mode_t mode, uid_t owner) {
    std::filesystem::create_directory(folder);
    ASSERT_EQ(chmod(folder.c_str(), mode), 0);
    ASSERT_EQ(chown(folder.c_str(), owner, owner), 0);
}

void makeLink(const std::string& target, const std::string& link, uid_t owner) {
    std::filesystem::create_symlink(target, link);
    ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
}

struct LinkCase {
    const char* name;
    bool needsRoot; // to give a link to another user
    // Lays out the folder `root`; returns the state and trace path, and the link
    // that is refused (empty: followed).
    std::function<std::pair<std::string, std::string>(const std::string& root)> layout;
};

// Another user's link, or one in a folder others may write that leads nowhere yet, is
// never followed: nothing is read, written or created through it, and nothing beside
// its target. A link the user made, or root, is followed.
TEST_F(SimulatorTest, OnlyTrustedLinksAreFollowedAndNothingIsMadeThroughADanglingOne) {
    const LinkCase cases[] = {
        {"another_users_link_in_a_sticky_folder", true,
         [](const std::string& root) {
             shareFolder(root + "/tmp", 01777, 0);
             makeLink(root + "/victim", root + "/tmp/file", kAnotherUser);
             return std::pair(root + "/tmp/file", root + "/tmp/file");
         }},
        {"another_users_dangling_link", true,
         [](const std::string& root) {
             makeLink(root + "/made", root + "/file", kAnotherUser);
             return std::pair(root + "/file", root + "/file");
         }},
        {"another_users_link_as_a_folder", true,
         [](const std::string& root) {
             shareFolder(root + "/tmp", 01777, 0);
             makeLink(root, root + "/tmp/folder", kAnotherUser);
             return std::pair(root + "/tmp/folder/victim", root + "/tmp/folder");
         }},
        {"own_dangling_link_in_a_folder_others_may_write", false,
         [](const std::string& root) {
             shareFolder(root + "/tmp", 01777, geteuid());
             makeLink(root + "/made", root + "/tmp/file", geteuid());
             return std::pair(root + "/tmp/file", root + "/tmp/file");
         }},
        {"own_link_in_a_sticky_folder", false,
         [](const std::string& root) {
             shareFolder(root + "/tmp", 01777, geteuid() == 0 ? kAnotherUser : geteuid());
             makeLink(root + "/victim", root + "/tmp/file", geteuid());
             return std::pair(root + "/tmp/file", std::string());
         }},
    };
    for (const LinkCase& c : cases) {
        if (c.needsRoot && geteuid() != 0) {
            std::cout << "[  SKIPPED ] " << c.name << ": only root can give a link to another user\n";
            continue;
        }
        const std::string root = folder.file(c.name);
        std::filesystem::create_directory(root);
        const std::string victimText = formatState({}) + "# kept\n";
        std::ofstream(root + "/victim") << victimText;
        const auto [path, refused] = c.layout(root);
        const auto listing = [&] {
            std::vector<std::string> names;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                names.push_back(entry.path().string());
            }
            std::sort(names.begin(), names.end());
            return names;
        };
        const std::vector<std::string> before = listing();

        errors.str("");
        Simulator sim(configFrom(kMachine), path, errors);
        TraceFile trace(path, errors);
        if (refused.empty()) {
            EXPECT_EQ(sim.reset(), kOk) << c.name << ": " << errors.str();
            EXPECT_EQ(sim.openBoard(0), kOk) << c.name << ": " << errors.str();
            EXPECT_NE(folder.read(std::string(c.name) + "/victim"), victimText) << c.name << ": not saved";
            EXPECT_TRUE(std::filesystem::exists(root + "/victim.board0.lock")) << c.name;
            continue;
        }
        EXPECT_EQ(sim.openBoard(0), kStateFailure) << c.name;
        EXPECT_EQ(sim.reset(), kStateFailure) << c.name;
        trace.append("VHalGetMaxDevices() = 2");
        EXPECT_NE(errors.str().find("vexa-sim: " + refused + ": "), std::string::npos) << c.name << ": " << errors.str();
        EXPECT_NE(errors.str().find("vexa-sim: trace: " + refused + ": "), std::string::npos) << c.name;
        EXPECT_EQ(folder.read(std::string(c.name) + "/victim"), victimText) << c.name;
        EXPECT_EQ(listing(), before) << c.name << ": made something";
    }
}

// In a sticky folder anyone may write, even root's link is followed only by root or
// the folder's owner: another user who follows it may be led where the folder's
// owner never meant.
TEST_F(SimulatorTest, RootsLinkInAnotherUsersStickyFolderIsNotFollowedByAThirdUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can make a link of root's in another user's folder";
    }
    constexpr uid_t kFolderOwner = kAnotherUser - 1;
    const std::string shared = folder.file("shared");
    shareFolder(shared, 01777, kFolderOwner);
    folder.write("victim", formatState({}));
    makeLink(folder.file("victim"), shared + "/state", 0);
    // The follower is a third user, in a child process of its own.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ostringstream childErrors;
        const bool dropped = setresgid(kAnotherUser, kAnotherUser, kAnotherUser) == 0 &&
                             setresuid(kAnotherUser, kAnotherUser, kAnotherUser) == 0;
        Simulator sim(configFrom(kMachine), shared + "/state", childErrors);
        const bool refused = sim.openBoard(0) == kStateFailure &&
                             childErrors.str().find(shared + "/state: a link in a sticky folder") != std::string::npos;
        _exit(dropped && refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "followed by a third user";
}
#endif

TEST_F(SimulatorTest, ALeftOverTemporaryThatIsNoFileIsRefusedByName) {
    std::filesystem::create_directory(folder.file("state.tmp"));
    const auto sim = process();
    ASSERT_EQ(sim->openBoard(0), kOk);
    EXPECT_EQ(writeByte(*sim, 0, kIOS0, 0xF0, 0x05), kStateFailure);
    EXPECT_EQ(errors.str(), "vexa-sim: " + folder.file("state.tmp") + ": not a regular file\n");
}

TEST_F(SimulatorTest, WithoutAHomeTheStateHasNoPlaceAndNothingRuns) {
    SimEnvironment environment; // no state path: none of the variables was set
    EXPECT_EQ(simulatorFor(environment, errors), nullptr);
    EXPECT_EQ(errors.str(), std::string("vexa-sim: no place for the state file: set VEXA_SIM_STATE, or ") +
                                kStateHomeVariables + "\n");
}

TEST_F(SimulatorTest, ASaveReplacesALeftOverTemporaryFileAndKeepsTheMode) {
    const std::string state = folder.write("state", formatState({}));
    std::filesystem::permissions(state, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    folder.write("state.tmp", "vexa-sim state 1\nexpander"); // a killed process's half-written save
    const auto sim = process();
    ASSERT_EQ(sim->openBoard(0), kOk);
    ASSERT_EQ(writeByte(*sim, 0, kIOS0, 0xF0, 0x05), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.file("state.tmp")));
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(state).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
    const auto next = process();
    ASSERT_EQ(next->openBoard(1), kOk) << errors.str();
}

TEST_F(SimulatorTest, ResetRemovesTheLockFilesOfBoardsNobodyHolds) {
    const auto sim = process();
    ASSERT_EQ(sim->openBoard(0), kOk);
    ASSERT_EQ(sim->closeBoard(0), kOk);
    ASSERT_EQ(sim->openBoard(1), kOk);
    ASSERT_EQ(sim->reset(), kOk);
    EXPECT_FALSE(std::filesystem::exists(sim->stateFile().boardLockPath(0)));
    EXPECT_TRUE(std::filesystem::exists(sim->stateFile().boardLockPath(1)));
    EXPECT_EQ(process()->openBoard(1, std::chrono::milliseconds(0)), kBusy);
}

// A process that waited on the file reset removed must not hold a lock nobody else sees.
TEST(FileLock, AWaiterOnARemovedLockFileLocksTheFileNamedNow) {
    const TempDir folder;
    const std::string path = folder.file("lock");
    auto first = std::make_unique<FileLock>(path);
    std::unique_ptr<FileLock> second;
    std::thread waiter([&] { second = std::make_unique<FileLock>(path); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first->removeOnRelease();
    first.reset();
    waiter.join();
    EXPECT_EQ(FileLock::within(path, std::chrono::milliseconds(0)), nullptr);
}

TEST_F(SimulatorTest, TheNextTransferWaitsForTheEepromWriteCycle) {
    const auto sim = process("write-cycle-ms 60\nboard 0 type 1\nexpander 0 IOS0 DS4520\n");
    ASSERT_EQ(sim->openBoard(0), kOk);
    // Timed from before the write: a pause between the two calls shortens the wait.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(writeByte(*sim, 0, kIOS0, 0xF0, 0x01), 1);
    readByte(*sim, 0, kIOS0, 0xF0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

// A state that grew from another configuration is said once per process, naming reset;
// a state written before chips kept their origin loads without a word.
TEST_F(SimulatorTest, AStateFromAnotherConfigurationIsSaidOnceUntilReset) {
    const std::string message = "vexa-sim: " + folder.file("state") +
                                ": holds chips of board 0 as an earlier configuration made them, not as test.conf "
                                "says; \"vexa-sim reset\" starts afresh from it\n";
    {
        const auto first = process();
        ASSERT_EQ(first->openBoard(0), kOk);
        ASSERT_EQ(writeByte(*first, 0, kIOS0, 0x00, 0x11), 1);
        ASSERT_EQ(first->openBoard(1), kOk);
        ASSERT_EQ(writeByte(*first, 1, kIOS0, 0x00, 0x22), 1);
    }
    EXPECT_EQ(process()->loadAll(), true);
    EXPECT_EQ(errors.str(), "") << "the same configuration";

    // Board 0's DS4520 gets another power-up value; board 1 is as it was.
    std::string changed = kMachine;
    changed.insert(changed.find("expander 0 IOS1"), "register 0xF0 0x01\n");
    {
        const auto second = process(changed);
        EXPECT_EQ(second->openBoard(1), kOk);
        EXPECT_EQ(errors.str(), "") << "board 1 is unchanged";
        EXPECT_EQ(second->openBoard(0), kOk);
        EXPECT_EQ(readByte(*second, 0, kIOS0, 0x00), 0x11) << "the state is kept";
        EXPECT_EQ(writeByte(*second, 0, kIOS0, 0x01, 0x33), 1);
        EXPECT_EQ(second->closeBoard(0), kOk);
        EXPECT_EQ(second->openBoard(0), kOk);
        EXPECT_EQ(second->loadAll(), true);
        EXPECT_EQ(errors.str(), message) << "once per process";
    }
    errors.str("");
    EXPECT_EQ(process(changed)->loadAll(), true);
    EXPECT_EQ(errors.str(), message) << "a save does not hide it";
    errors.str("");
    // A chip type that changed behind IOS1 is another configuration too.
    std::string otherChip = kMachine;
    otherChip.replace(otherChip.find("IOS1 DS4510"), 11, "IOS1 DS4520");
    {
        const auto third = process();
        ASSERT_EQ(third->openBoard(0), kOk);
        ASSERT_EQ(writeByte(*third, 0, kIOS1, 0x00, 0x44), 1);
    }
    errors.str("");
    EXPECT_EQ(process(otherChip)->loadAll(), true);
    EXPECT_EQ(errors.str(), message);
    errors.str("");
    // Every board that changed is named, board 1's entries coming first in the state.
    std::string bothChanged = otherChip + "register 0xF0 0x02\n"; // board 1's DS4520
    EXPECT_EQ(process(bothChanged)->loadAll(), true);
    std::string bothMessage = message;
    bothMessage.replace(bothMessage.find("board 0"), 7, "boards 0 and 1");
    EXPECT_EQ(errors.str(), bothMessage);
    errors.str("");

    EXPECT_EQ(process(changed)->reset(), kOk);
    EXPECT_EQ(process(changed)->loadAll(), true);
    EXPECT_EQ(errors.str(), "") << "reset starts afresh";

    // A state without fingerprints, as older versions wrote it.
    StateEntry older;
    older.board = 0;
    older.interfaceCode = kIOS0;
    older.memory.eeprom[0x00] = 0x55;
    folder.write("state", formatState({older}));
    const auto fourth = process(changed);
    ASSERT_EQ(fourth->openBoard(0), kOk);
    EXPECT_EQ(readByte(*fourth, 0, kIOS0, 0x00), 0x55);
    EXPECT_EQ(errors.str(), "");
}

TEST(StateText, RoundTrips) {
    StateEntry entry;
    entry.board = 3;
    entry.interfaceCode = kIOS1;
    entry.chip = ChipType::DS4510;
    entry.memory.sram[0xF7] = 0xAB;
    entry.memory.eeprom[0x01] = 0xCD;
    entry.memory.pageWrites[30] = 50001;
    std::istringstream text(formatState({entry, StateEntry{}}));
    const std::vector<StateEntry> entries = parseState(text, "state");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].board, 3);
    EXPECT_EQ(entries[0].interfaceCode, kIOS1);
    EXPECT_EQ(entries[0].chip, ChipType::DS4510);
    EXPECT_TRUE(entries[0].memory == entry.memory);
    EXPECT_EQ(entries[0].madeFrom, std::nullopt);
    entry.madeFrom = 0xFEDCBA9876543210;
    std::istringstream withOrigin(formatState({entry}));
    EXPECT_EQ(parseState(withOrigin, "state").at(0).madeFrom, entry.madeFrom);
    std::istringstream twice(formatState({entry}) + "made-from 0x1\n");
    EXPECT_THROW(parseState(twice, "state"), StateError);
    entry.levels[3] = ExternalLevel::Floating;
    entry.levels[0] = ExternalLevel::High;
    const std::string withLevels = formatState({entry});
    EXPECT_NE(withLevels.find("\nlevels high - - floating\n"), std::string::npos) << withLevels;
    std::istringstream levels(withLevels);
    EXPECT_EQ(parseState(levels, "state").at(0).levels, entry.levels);
    for (const char* bad : {"levels high - -\n", "levels high - - up\n",
                            "levels - - - - - - - - low\nlevels - - - - - - - - low\n"}) {
        std::istringstream refused(formatState({entry, StateEntry{}}) + bad);
        EXPECT_THROW(parseState(refused, "state"), StateError) << bad;
    }
}

} // namespace
} // namespace vexa::sim
