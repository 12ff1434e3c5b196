#include "SpinLockVariableGuard.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vexa::templates::platform {

namespace {
void pauseHint() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    // The processor's own spin-wait hint, as pause is on x86.
    __asm__ __volatile__("yield");
#endif
}
} // namespace

SpinLockVariableGuard::SpinLockVariableGuard(std::atomic<std::int32_t>& word) : lockWord(&word) {
    for (;;) {
        std::int32_t expected = 0;
        if (lockWord->compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
            break;
        }
        pauseHint();
    }
    held = true;
}

SpinLockVariableGuard::~SpinLockVariableGuard() {
    if (held) {
        lockWord->exchange(0, std::memory_order_release);
    }
}

} // namespace vexa::templates::platform
