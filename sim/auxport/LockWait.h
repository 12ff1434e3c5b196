#pragma once
// Waiting, for a limited time, until nobody holds a lock file that the simulator's
// FileLock takes, without taking it.

#include <cstdint>
#include <string>

namespace vexa::sim {

// True once the lock at `path` is free (or the file cannot be opened, which leaves the
// verdict to whoever takes the lock next); false when it is still held after `timeoutMs`.
// Another holder in this very process counts as well, so a caller that would otherwise
// wait on itself for ever gets a refusal instead.
bool waitUntilUnlocked(const std::string& path, std::uint32_t timeoutMs);

} // namespace vexa::sim
