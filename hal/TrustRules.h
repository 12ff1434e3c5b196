#pragma once
// Whom the tool trusts with what it loads or writes on Linux: root and the user whose
// rights it runs with. Every entry on the way to a file (each folder passed, each link
// followed, the file itself) is judged alone, from its status and a few facts about
// users and groups; nothing here touches the file system.

#ifndef _WIN32

#include <functional>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

namespace vexa::hal::trust {

// What the rules need to know about an entry's group when that group may write it.
struct GroupFacts {
    std::string name;          // as the system names it, or its number
    bool ownersPrimary = false; // it is the primary group of the entry's owner
    bool otherMember = false;   // a user other than the owner is listed in it
    bool othersPrimary = false; // it is the primary group of another user too
};

// Looks up the facts of a group for an entry of the given owner; called only when the
// group may write the entry, since it may read every account.
using GroupLookup = std::function<GroupFacts(gid_t group, uid_t owner)>;

enum class Entry { Folder, Link, File };

// Why the entry `name` (a folder passed, a link followed, or the file at the end) may
// have been changed by someone the tool does not trust; empty when it cannot have been.
// The reason names the entry, so that the user knows what to change. A folder that
// others may write is trusted with the sticky bit: they cannot replace what they do
// not own, and whatever is followed from it is judged on its own.
std::string refusal(Entry kind, std::string_view name, const struct stat& status, uid_t effectiveUser,
                    const GroupLookup& groupOf);

// Whether anyone but the owner (and root) may write the entry.
bool othersMayWrite(const struct stat& status, const GroupLookup& groupOf);

// The facts of a group from the system's accounts.
GroupFacts systemGroupFacts(gid_t group, uid_t owner);

} // namespace vexa::hal::trust

#endif
