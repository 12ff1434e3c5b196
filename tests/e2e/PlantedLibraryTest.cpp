// A hardware library that another user may have planted or changed is never loaded:
// the tool refuses every board index, as without a library, and says once on standard
// error why. A library of root or of the caller in a folder that only they may change
// (or a sticky one) still loads.
//
// Linux only: owners and modes are what the Linux loader checks; Windows has neither.

#include "Cases.h"

#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace vexa::e2e {
namespace {

// A user other than the caller and root, for files given away.
constexpr uid_t kAnotherUser = 65534;

struct PlantedCase {
    std::string name;
    bool needsRoot;    // giving a file to another user takes root
    bool planted;      // the stand-in that marks when its code runs, else the full library
    mode_t fileMode;   // of the library
    uid_t fileOwner;   // kAnotherUser, or 0 for the caller
    mode_t folderMode; // of its bin folder
    uid_t folderOwner;
    std::string reason; // on standard error; empty: the library loads
    // Non-zero: the library and the folder above are in install/real, and the bin
    // folder, of this mode, holds a link to the library.
    mode_t linkFolderMode = 0;
};

void PrintTo(const PlantedCase& row, std::ostream* stream) {
    *stream << row.name;
}

class PlantedLibrary : public testing::TestWithParam<PlantedCase> {};

void giveAway(const fs::path& file, uid_t owner) {
    if (owner != 0) {
        ASSERT_EQ(0, chown(file.c_str(), owner, static_cast<gid_t>(-1))) << file;
    }
}

TEST_P(PlantedLibrary, IsNeverLoaded) {
    const PlantedCase& row = GetParam();
    if (platform().windows) {
        GTEST_SKIP() << "owners and modes of files are checked by the Linux loader only";
    }
    if (row.needsRoot && geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    Sandbox sandbox;
    const fs::path bin = sandbox.path("install/bin");
    const fs::path folder = row.linkFolderMode != 0 ? sandbox.path("install/real") : bin;
    fs::create_directories(bin);
    fs::create_directories(folder);
    const fs::path library = bin / platform().halFile();
    const fs::path file = folder / platform().halFile();
    fs::copy_file(row.planted ? fs::path(VEXA_E2E_PLANTED_LIBRARY) : platform().bin / platform().halFile(), file);
    if (row.linkFolderMode != 0) {
        fs::create_symlink("../real/" + platform().halFile(), library);
        ASSERT_EQ(0, chmod(bin.c_str(), row.linkFolderMode));
    }
    ASSERT_EQ(0, chmod(file.c_str(), row.fileMode));
    ASSERT_EQ(0, chmod(folder.c_str(), row.folderMode));
    giveAway(file, row.fileOwner);
    giveAway(folder, row.folderOwner);

    Invocation run;
    run.config = kMachine;
    run.arguments = {"-board", "2"};
    run.program = sandbox.stageTool("elsewhere", Library::Missing);
    run.environment = {{"VEXADIR5_64", sandbox.path("install").string()}};
    const Outcome outcome = runTool(sandbox, run);
    if (row.reason.empty()) {
        expectOutcome(outcome, {"Done.\n", "", 0, maxDevices(kSlots) + constructBoard(2) + releaseBoard(2)},
                      run.program);
    } else {
        // Refused as a library that cannot be loaded: no library call at all.
        const std::string line = "vexa-gpio: not loading " + library.string() + ": " + row.reason + "\n";
        expectOutcome(outcome, {"", line + failure("Invalid board index"), 1, {}}, run.program);
    }
    EXPECT_FALSE(fs::exists(sandbox.path("planted-code-ran"))) << "the planted library's code ran";
}

const PlantedCase kPlantedCases[] = {
    {"library_of_another_user", true, true, 0755, kAnotherUser, 0755, 0, "it belongs to another user"},
    {"library_others_may_write", false, true, 0757, 0, 0755, 0, "others may write it"},
    {"library_its_group_may_write", false, true, 0775, 0, 0755, 0, "others may write it"},
    {"folder_of_another_user", true, true, 0755, 0, 0755, kAnotherUser, "its folder belongs to another user"},
    {"folder_others_may_write", false, true, 0755, 0, 0777, 0, "others may write its folder"},
    {"folder_its_group_may_write", false, true, 0755, 0, 0775, 0, "others may write its folder"},
    // The sticky bit keeps others from replacing a file they do not own.
    {"library_in_a_sticky_folder_anyone_may_write", false, false, 0755, 0, 01777, 0, ""},
    // Through a link, the folder of the library and that of the link count.
    {"link_to_a_library_in_a_folder_others_may_write", false, true, 0755, 0, 0777, 0, "others may write its folder",
     0755},
    {"link_in_a_folder_others_may_write", false, true, 0755, 0, 0755, 0, "others may write its folder", 0777},
    {"link_to_a_library_elsewhere", false, false, 0755, 0, 0755, 0, "", 0755},
};

std::string plantedCaseName(const testing::TestParamInfo<PlantedCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Installation, PlantedLibrary, testing::ValuesIn(kPlantedCases), plantedCaseName);

} // namespace
} // namespace vexa::e2e
