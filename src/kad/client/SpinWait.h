// A short busy wait for a condition that another thread is about to make
// true, tried before going to sleep on it: across the daemon link the other
// side usually answers within microseconds, and a sleep and a wake-up cost
// more than that.
#pragma once

#include <chrono>
#include <cstdint>

inline void CpuRelax() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// True as soon as the condition holds; false once about `microseconds`
// have passed without it.
template <class Pred>
bool SpinUntil(Pred pred, uint32_t microseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    for (uint32_t spin = 0;; ++spin) {
        if (pred())
            return true;
        if ((spin & 63) == 63 && std::chrono::steady_clock::now() > until)
            return false;
        CpuRelax();
    }
}
