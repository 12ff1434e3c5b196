#include "TrustRules.h"

#ifndef _WIN32

#include <grp.h>
#include <pwd.h>

namespace vexa::hal::trust {

namespace {

// The group is the owner's own: a user's private group, as umask 002 set-ups make one
// per user, lets nobody else write.
bool ownersPrivateGroup(const GroupFacts& group) {
    return group.ownersPrimary && !group.otherMember && !group.othersPrimary;
}

// Who besides the owner may write the entry, in words; empty when nobody may. Root's
// group counts as root.
std::string otherWriters(const struct stat& status, const GroupLookup& groupOf) {
    if ((status.st_mode & S_IWOTH) != 0) {
        return "others";
    }
    if ((status.st_mode & S_IWGRP) == 0 || status.st_gid == 0) {
        return {};
    }
    const GroupFacts group = groupOf(status.st_gid, status.st_uid);
    return ownersPrivateGroup(group) ? std::string() : "group " + group.name;
}

} // namespace

bool othersMayWrite(const struct stat& status, const GroupLookup& groupOf) {
    return !otherWriters(status, groupOf).empty();
}

std::string refusal(Entry kind, std::string_view name, const struct stat& status, uid_t effectiveUser,
                    const GroupLookup& groupOf) {
    const bool file = kind == Entry::File;
    if (status.st_uid != 0 && status.st_uid != effectiveUser) {
        return (kind == Entry::Link ? "link " + std::string(name) : file ? std::string("it") : std::string(name)) +
               " belongs to another user";
    }
    if (kind == Entry::Link) {
        return {}; // nobody can change a link, only replace it in its folder
    }
    const std::string writers = otherWriters(status, groupOf);
    if (writers.empty() || (!file && (status.st_mode & S_ISVTX) != 0)) {
        return {};
    }
    return writers + " may write " + (file ? std::string("it") : std::string(name));
}

GroupFacts systemGroupFacts(gid_t group, uid_t owner) {
    GroupFacts facts;
    facts.name = std::to_string(group);
    const struct passwd* account = getpwuid(owner);
    const std::string ownerName = account != nullptr ? account->pw_name : "";
    facts.ownersPrimary = account != nullptr && account->pw_gid == group;
    if (const struct group* entry = getgrgid(group); entry != nullptr) {
        facts.name = entry->gr_name;
        for (char** member = entry->gr_mem; *member != nullptr; ++member) {
            facts.otherMember = facts.otherMember || ownerName != *member;
        }
    }
    setpwent();
    for (const struct passwd* other = getpwent(); other != nullptr; other = getpwent()) {
        facts.othersPrimary = facts.othersPrimary || (other->pw_gid == group && other->pw_uid != owner);
    }
    endpwent();
    return facts;
}

} // namespace vexa::hal::trust

#endif
