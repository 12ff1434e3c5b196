#pragma once
// A busy-wait lock on a 32-bit word (0 free, 1 held), for short critical sections
// that run once per process and must not depend on a system mutex.

#include <atomic>
#include <cstdint>

// The namespace of the tool's platform utilities, templates or not.
namespace vexa::templates::platform {

struct SpinLockVariableGuard {
    explicit SpinLockVariableGuard(std::atomic<std::int32_t>& lockWord);
    // Virtual like every guard of a scoped resource in the tool (the aux-port bus's
    // TransactionBlockGuard too): one shape for all of them.
    virtual ~SpinLockVariableGuard();
    SpinLockVariableGuard(const SpinLockVariableGuard&) = delete;
    SpinLockVariableGuard& operator=(const SpinLockVariableGuard&) = delete;

    std::atomic<std::int32_t>* lockWord;
    bool held = false; // set once the lock is taken: a guard releases only a lock it holds
};

} // namespace vexa::templates::platform
