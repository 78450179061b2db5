// Waitable event with manual or automatic reset.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Nyx {

class WEvent {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    explicit WEvent(bool manualReset = false, bool initiallySet = false);
    WEvent(const WEvent&) = delete;
    WEvent& operator=(const WEvent&) = delete;

    void Set();
    void Reset();
    // Releases the threads waiting now (one for an automatic event) and
    // leaves the event clear.
    void Pulse();
    // True when the event was signalled, false on time-out.
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsSet();
    // Threads blocked in Wait now (for tests and diagnostics).
    uint32_t Waiters();

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool manual_;
    bool set_;
    uint64_t pulses_ = 0;       // generation counter for Pulse
    uint32_t waiters_ = 0;
    uint32_t pulseReleases_ = 0;  // automatic events: waiters a pulse may still release
};

}  // namespace Nyx
