#include "nyx/base/WEvent.h"

#include <chrono>

namespace Nyx {

WEvent::WEvent(bool manualReset, bool initiallySet) : manual_(manualReset), set_(initiallySet) {}

void WEvent::Set()
{
    std::lock_guard<std::mutex> guard(m_);
    set_ = true;
    if (manual_)
        cv_.notify_all();
    else
        cv_.notify_one();
}

void WEvent::Reset()
{
    std::lock_guard<std::mutex> guard(m_);
    set_ = false;
}

void WEvent::Pulse()
{
    std::lock_guard<std::mutex> guard(m_);
    set_ = false;
    if (waiters_ == 0)
        return;
    // Waiters remember the generation they started in; only those from an
    // earlier one may take a release, so a thread arriving after the pulse
    // keeps waiting.
    ++pulses_;
    if (manual_)
        pulseReleases_ = waiters_;
    else if (pulseReleases_ < waiters_)
        ++pulseReleases_;
    cv_.notify_all();
}

bool WEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_);
    uint64_t generation = pulses_;
    auto signalled = [&]() {
        if (set_) {
            if (!manual_)
                set_ = false;
            return true;
        }
        if (pulses_ != generation && pulseReleases_ > 0) {
            --pulseReleases_;
            return true;
        }
        return false;
    };
    if (signalled())
        return true;
    if (timeoutMs == 0)
        return false;
    ++waiters_;
    bool ok;
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, signalled);
        ok = true;
    } else {
        ok = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled);
    }
    if (--waiters_ == 0)
        pulseReleases_ = 0;
    return ok;
}

bool WEvent::IsSet()
{
    std::lock_guard<std::mutex> guard(m_);
    return set_;
}

uint32_t WEvent::Waiters()
{
    std::lock_guard<std::mutex> guard(m_);
    return waiters_;
}

}  // namespace Nyx
