// A 32-bit word that threads sleep on until another thread changes it and
// wakes them: the kernel's futex, with a time-out, which std::atomic's wait
// does not offer. Waiters and wakers of one word must both come through
// here (std::atomic's notify may skip the wake-up of a futex waiter it does
// not know about).
#pragma once

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace futexword {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "a futex is a plain 32-bit word");

// Sleeps while the word holds `expected`, for at most timeoutMs (negative:
// no limit). Returns at once when the word differs; spurious returns are
// possible, so callers look at the word again.
inline void Wait(std::atomic<uint32_t>& word, uint32_t expected, int timeoutMs)
{
    timespec timeout{};
    timespec* bound = nullptr;
    if (timeoutMs >= 0) {
        timeout.tv_sec = timeoutMs / 1000;
        timeout.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
        bound = &timeout;
    }
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, bound, nullptr, 0);
}

inline void WakeAll(std::atomic<uint32_t>& word)
{
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace futexword
