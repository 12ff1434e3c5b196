// Installations laid out as users and attackers lay them out: owners, modes, groups,
// links and sticky folders on the way to the hardware library. A library that someone
// other than root or the caller may have planted or changed is never loaded: the tool
// refuses every board index, as without a library, and says once on standard error
// which folder, link or file is at fault and why. Everything else loads.
//
// Linux only: owners and modes are what the Linux loader checks; Windows has neither.

#include "Cases.h"

#include <functional>
#include <string>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa::e2e {
namespace {

// A user other than the caller and root, for files given away.
constexpr uid_t kAnotherUser = 65534;

// Builds a layout under <sandbox>/install, the installation VEXADIR5_64 names.
class Layout {
public:
    explicit Layout(const Sandbox& sandbox_) : sandbox(sandbox_) {}

    // The hardware library at `relative`: the stand-in that marks when its code runs,
    // or one of the simulator's.
    void library(const std::string& relative, bool planted = true) const {
        fs::create_directories(path(relative).parent_path());
        const fs::path source = planted ? fs::path(VEXA_E2E_PLANTED_LIBRARY) : platform().bin / platform().halFile();
        fs::copy_file(source, path(relative));
    }
    void dependentLibrary(const std::string& relative, const std::string& dependencyFolder) const {
        fs::create_directories(path(relative).parent_path());
        fs::create_directories(path(dependencyFolder));
        fs::copy_file(platform().bin / platform().halFile("dependent"), path(relative));
        fs::copy_file(platform().bin / platform().libraryFile("vexa_test_dependency"),
                      path(dependencyFolder) / platform().libraryFile("vexa_test_dependency"));
    }
    void folder(const std::string& relative) const { fs::create_directories(path(relative)); }
    void link(const std::string& relative, const std::string& target) const {
        fs::create_directories(path(relative).parent_path());
        fs::create_symlink(target, path(relative));
    }
    void mode(const std::string& relative, mode_t mode) const { ASSERT_EQ(0, chmod(path(relative).c_str(), mode)); }
    void owner(const std::string& relative, uid_t user) const {
        ASSERT_EQ(0, lchown(path(relative).c_str(), user, static_cast<gid_t>(-1))) << relative;
    }
    // A group of the system that is nobody's own: its members may write what it may.
    void sharedGroup(const std::string& relative) const {
        const struct group* staff = getgrnam("staff");
        ASSERT_NE(nullptr, staff) << "no group staff";
        ASSERT_EQ(0, lchown(path(relative).c_str(), static_cast<uid_t>(-1), staff->gr_gid)) << relative;
    }
    fs::path path(const std::string& relative) const { return sandbox.path(relative); }

private:
    const Sandbox& sandbox;
};

// What a row needs of the user running it.
enum class Needs {
    Nothing,
    Root, // to give a file to another user or group
    // Group write that is not others': root's group, or the caller's own private group
    PrivateGroup,
};

struct InstallationCase {
    std::string name;
    Needs needs;
    std::function<void(const Layout&)> lay;
    // On standard error after "not loading <library>: ", "@SANDBOX@" for the sandbox;
    // empty: the library loads.
    std::string reason;
    // The folder the layout is moved to, and how the refusal shows its name.
    std::string installation = "install";
    std::string shownInstallation = "install";
};

void PrintTo(const InstallationCase& row, std::ostream* stream) {
    *stream << row.name;
}

class PlantedLibrary : public testing::TestWithParam<InstallationCase> {};

std::string replaced(std::string text, const std::string& placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
        text.replace(at, placeholder.size(), value);
        at += value.size();
    }
    return text;
}

// Whether the caller's primary group is its own: no other member, and no other user's
// primary group.
bool callerHasPrivateGroup() {
    const struct group* entry = getgrgid(getegid());
    if (entry == nullptr || entry->gr_mem[0] != nullptr) {
        return false;
    }
    bool shared = false;
    setpwent();
    for (const struct passwd* user = getpwent(); user != nullptr; user = getpwent()) {
        shared = shared || (user->pw_gid == getegid() && user->pw_uid != geteuid());
    }
    endpwent();
    return !shared;
}

TEST_P(PlantedLibrary, IsNeverLoaded) {
    const InstallationCase& row = GetParam();
    if (platform().windows) {
        GTEST_SKIP() << "owners and modes of files are checked by the Linux loader only";
    }
    if (row.needs == Needs::Root && geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user or group";
    }
    if (row.needs == Needs::PrivateGroup && geteuid() != 0 && !callerHasPrivateGroup()) {
        GTEST_SKIP() << "the caller's primary group is another user's too, so its write counts as others'";
    }
    Sandbox sandbox;
    const std::string root = fs::canonical(sandbox.root()).string();
    row.lay(Layout(sandbox));
    if (testing::Test::HasFatalFailure()) {
        return;
    }
    if (row.installation != "install") {
        fs::rename(sandbox.path("install"), sandbox.path(row.installation));
    }

    Invocation run;
    run.config = kMachine;
    run.arguments = {"-board", "2"};
    run.program = sandbox.stageTool("elsewhere", Library::Missing);
    run.environment = {{"VEXADIR5_64", root + "/" + row.installation}};
    const Outcome outcome = runTool(sandbox, run);
    if (row.reason.empty()) {
        expectOutcome(outcome, {"Done.\n", "", 0, maxDevices(kSlots) + constructBoard(2) + releaseBoard(2)},
                      run.program);
    } else {
        // Refused as a library that cannot be loaded: no library call at all.
        const std::string line = "vexa-gpio: not loading " + root + "/" + row.shownInstallation + "/bin/" +
                                 platform().halFile() + ": " +
                                 replaced(row.reason, "@SANDBOX@", root) + "\n";
        expectOutcome(outcome, {"", line + failure("Invalid board index"), 1, {}}, run.program);
    }
    EXPECT_FALSE(fs::exists(sandbox.path("planted-code-ran"))) << "the planted library's code ran";
}

const std::string kLibrary = "install/bin/libvexa_hal.so";

void plainInstallation(const Layout& at) {
    at.library(kLibrary, false);
}

const InstallationCase kInstallationCases[] = {
    // The library and the folders on the way to it.
    {"library_of_another_user", Needs::Root,
     [](const Layout& at) { at.library(kLibrary); at.owner(kLibrary, kAnotherUser); },
     "it belongs to another user"},
    {"library_others_may_write", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary); at.mode(kLibrary, 0757); },
     "others may write it"},
    {"library_a_shared_group_may_write", Needs::Root,
     [](const Layout& at) { at.library(kLibrary); at.mode(kLibrary, 0775); at.sharedGroup(kLibrary); },
     "group staff may write it"},
    {"folder_of_another_user", Needs::Root,
     [](const Layout& at) { at.library(kLibrary); at.owner("install/bin", kAnotherUser); },
     "@SANDBOX@/install/bin belongs to another user"},
    {"folder_others_may_write", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary); at.mode("install/bin", 0777); },
     "others may write @SANDBOX@/install/bin"},
    {"folder_a_shared_group_may_write", Needs::Root,
     [](const Layout& at) { at.library(kLibrary); at.mode("install/bin", 0775); at.sharedGroup("install/bin"); },
     "group staff may write @SANDBOX@/install/bin"},
    // As /usr/local is on systems that let group staff install software.
    {"outer_folder_a_shared_group_may_write", Needs::Root,
     [](const Layout& at) { at.library(kLibrary); at.mode("install", 02775); at.sharedGroup("install"); },
     "group staff may write @SANDBOX@/install"},
    {"outer_folder_others_may_write", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary); at.mode("install", 0777); },
     "others may write @SANDBOX@/install"},
    // The line stays one line, and nothing in a name reads as the tool's own text.
    {"refused_path_with_a_line_break_a_backslash_and_a_control_character", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary); at.mode(kLibrary, 0757); }, "others may write it",
     "in\nstall\\\x07", "in\\nstall\\\\\\x07"},
    // A line longer than the tool gathers at once still arrives whole.
    {"refused_path_of_a_folder_with_a_250_letter_name", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary); at.mode("install/bin", 0777); },
     "others may write @SANDBOX@/" + std::string(250, 'i') + "/bin", std::string(250, 'i'), std::string(250, 'i')},
    // Links: each one followed, and each folder on the way to its target.
    {"link_to_a_library_in_a_folder_others_may_write", Needs::Nothing,
     [](const Layout& at) {
         at.library("install/real/libvexa_hal.so"); at.link(kLibrary, "../real/libvexa_hal.so");
         at.mode("install/real", 0777);
     },
     "others may write @SANDBOX@/install/real"},
    {"link_in_a_folder_others_may_write", Needs::Nothing,
     [](const Layout& at) {
         at.library("install/real/libvexa_hal.so"); at.link(kLibrary, "../real/libvexa_hal.so");
         at.mode("install/bin", 0777);
     },
     "others may write @SANDBOX@/install/bin"},
    // Another user's link in a sticky folder anyone may write, to a library they chose.
    {"link_of_another_user_in_a_sticky_folder", Needs::Root,
     [](const Layout& at) {
         at.library("downloads/some.so"); at.link(kLibrary, at.path("downloads/some.so").string());
         at.mode("install/bin", 01777); at.owner(kLibrary, kAnotherUser);
     },
     "link @SANDBOX@/install/bin/libvexa_hal.so belongs to another user"},
    // bin a link to a sticky folder, where another user links the name to a root-owned library.
    {"folder_linked_to_a_sticky_folder_with_another_users_link", Needs::Root,
     [](const Layout& at) {
         at.library("system/libvexa_hal.so"); at.folder("tmp"); at.mode("tmp", 01777);
         at.link("install/bin", "../tmp"); at.link("tmp/libvexa_hal.so", at.path("system/libvexa_hal.so").string());
         at.owner("tmp/libvexa_hal.so", kAnotherUser);
     },
     "link @SANDBOX@/tmp/libvexa_hal.so belongs to another user"},
    {"folder_linked_to_a_folder_others_may_write", Needs::Nothing,
     [](const Layout& at) {
         at.library("tmp/libvexa_hal.so"); at.mode("tmp", 0777); at.link("install/bin", "../tmp");
     },
     "others may write @SANDBOX@/tmp"},

    // Installations that load.
    {"plain", Needs::Nothing, plainInstallation, ""},
    // The sticky bit keeps others from replacing a file they do not own.
    {"library_in_a_sticky_folder_anyone_may_write", Needs::Nothing,
     [](const Layout& at) { at.library(kLibrary, false); at.mode("install/bin", 01777); }, ""},
    // umask 002: group write everywhere. Run by root, the group is root's; run by
    // another user, that user's own private group.
    {"installed_under_umask_002", Needs::PrivateGroup,
     [](const Layout& at) {
         at.library(kLibrary, false); at.mode(kLibrary, 0775); at.mode("install/bin", 0775); at.mode("install", 0775);
     },
     ""},
    {"link_to_a_library_elsewhere", Needs::Nothing,
     [](const Layout& at) {
         at.library("install/real/libvexa_hal.so", false);
         at.link(kLibrary, "../real/libvexa_hal.so");
     },
     ""},
    {"versioned_chain_of_links", Needs::Nothing,
     [](const Layout& at) {
         at.library("install/bin/libvexa_hal.so.5.2", false);
         at.link("install/bin/libvexa_hal.so.5", "libvexa_hal.so.5.2");
         at.link(kLibrary, "libvexa_hal.so.5");
     },
     ""},
    // Its $ORIGIN is the folder of the name it was loaded by, as for a plain dlopen.
    {"link_whose_library_needs_a_sibling_beside_the_link", Needs::Nothing,
     [](const Layout& at) {
         at.dependentLibrary("install/real/libvexa_hal.so", "install/bin");
         at.link(kLibrary, "../real/libvexa_hal.so");
     },
     ""},
};

std::string installationCaseName(const testing::TestParamInfo<InstallationCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Installation, PlantedLibrary, testing::ValuesIn(kInstallationCases), installationCaseName);

} // namespace
} // namespace vexa::e2e
