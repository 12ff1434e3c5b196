#pragma once
// A busy-wait lock on a 32-bit word (0 free, 1 held), for short critical sections
// that run once per process and must not depend on a system mutex.

#include <atomic>
#include <cstdint>

namespace vexa::templates::platform {

struct SpinLockVariableGuard {
    explicit SpinLockVariableGuard(std::atomic<std::int32_t>& lockWord);
    virtual ~SpinLockVariableGuard();
    SpinLockVariableGuard(const SpinLockVariableGuard&) = delete;
    SpinLockVariableGuard& operator=(const SpinLockVariableGuard&) = delete;

    std::atomic<std::int32_t>* lockWord;
    bool held = false;
};

} // namespace vexa::templates::platform
