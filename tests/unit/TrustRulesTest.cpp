// The trust rules, one row per entry on the way to a file: its kind, owner, group and
// mode, the user the tool runs as, and what the system says about the group.

#include "hal/TrustRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vexa::hal::trust::Entry;
using vexa::hal::trust::GroupFacts;

constexpr uid_t kCaller = 1000;
constexpr uid_t kOther = 1001;
constexpr gid_t kStaff = 50;

// The group facts of kCaller's private group, and of groups that are not one.
const GroupFacts kPrivate = {"caller", true, false, false};
const GroupFacts kWithMember = {"caller", true, true, false};
const GroupFacts kAlsoOthersPrimary = {"caller", true, false, true};
const GroupFacts kNotPrimary = {"staff", false, false, false};

struct RuleCase {
    const char* name;
    Entry kind;
    mode_t mode; // permission bits and the sticky bit
    uid_t owner;
    gid_t group;
    GroupFacts facts;   // what the lookup gives for the group
    const char* reason; // empty: trusted
};

void PrintTo(const RuleCase& row, std::ostream* stream) {
    *stream << row.name;
}

class TrustRules : public testing::TestWithParam<RuleCase> {};

TEST_P(TrustRules, JudgeOneEntry) {
    const RuleCase& row = GetParam();
    struct stat status {};
    status.st_mode = row.mode | (row.kind == Entry::Folder ? S_IFDIR : row.kind == Entry::Link ? S_IFLNK : S_IFREG);
    status.st_uid = row.owner;
    status.st_gid = row.group;
    const auto lookup = [&row](gid_t group, uid_t owner) {
        EXPECT_EQ(row.group, group);
        EXPECT_EQ(row.owner, owner);
        return row.facts;
    };
    EXPECT_EQ(row.reason, vexa::hal::trust::refusal(row.kind, "/opt/m", status, kCaller, lookup));
}

const RuleCase kRuleCases[] = {
    {"file_of_root", Entry::File, 0755, 0, 0, {}, ""},
    {"file_of_the_caller", Entry::File, 0700, kCaller, kCaller, {}, ""},
    {"file_of_another_user", Entry::File, 0755, kOther, kOther, {}, "it belongs to another user"},
    {"file_others_may_write", Entry::File, 0757, kCaller, kCaller, kPrivate, "others may write it"},
    {"file_group_root_may_write", Entry::File, 0775, 0, 0, {}, ""},
    {"file_the_owners_private_group_may_write", Entry::File, 0775, kCaller, kCaller, kPrivate, ""},
    {"file_a_group_with_another_member_may_write", Entry::File, 0775, kCaller, kCaller, kWithMember,
     "group caller may write it"},
    {"file_a_group_that_is_another_users_primary_may_write", Entry::File, 0775, kCaller, kCaller, kAlsoOthersPrimary,
     "group caller may write it"},
    {"file_a_group_not_the_owners_may_write", Entry::File, 0775, kCaller, kStaff, kNotPrimary,
     "group staff may write it"},
    // A sticky bit keeps nobody from changing a file.
    {"sticky_file_others_may_write", Entry::File, 01777, 0, 0, {}, "others may write it"},

    {"folder_of_root", Entry::Folder, 0755, 0, 0, {}, ""},
    {"folder_of_another_user", Entry::Folder, 0755, kOther, kOther, {}, "/opt/m belongs to another user"},
    {"folder_others_may_write", Entry::Folder, 0777, 0, 0, {}, "others may write /opt/m"},
    {"sticky_folder_others_may_write", Entry::Folder, 01777, 0, 0, {}, ""},
    {"sticky_folder_of_another_user", Entry::Folder, 01777, kOther, kOther, {}, "/opt/m belongs to another user"},
    {"folder_group_root_may_write", Entry::Folder, 0775, 0, 0, {}, ""},
    {"folder_the_owners_private_group_may_write", Entry::Folder, 0775, kCaller, kCaller, kPrivate, ""},
    {"folder_group_staff_may_write", Entry::Folder, 02775, 0, kStaff, kNotPrimary, "group staff may write /opt/m"},
    {"sticky_folder_group_staff_may_write", Entry::Folder, 01775, 0, kStaff, kNotPrimary, ""},

    // A link's mode means nothing; who may replace it is its folder's matter.
    {"link_of_root", Entry::Link, 0777, 0, 0, {}, ""},
    {"link_of_the_caller", Entry::Link, 0777, kCaller, kCaller, {}, ""},
    {"link_of_another_user", Entry::Link, 0777, kOther, kOther, {}, "link /opt/m belongs to another user"},
};

std::string ruleCaseName(const testing::TestParamInfo<RuleCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Entries, TrustRules, testing::ValuesIn(kRuleCases), ruleCaseName);

} // namespace
