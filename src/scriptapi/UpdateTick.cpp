#include "scriptapi/UpdateTick.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "core/threads/JobQueue.h"
#include "nyx/base/PString.h"

namespace {

// Written by the main thread only; read by any (the endpoint's receiver
// among them), hence atomics rather than a lock.
std::atomic<float> g_clock{0.0f};
std::atomic<double> g_offset{0.0};
bool g_started = false;
std::chrono::steady_clock::time_point g_start;

}  // namespace

void UpdateTick()
{
    const auto now = std::chrono::steady_clock::now();
    if (!g_started) {
        g_start = now;
        g_started = true;
    }
    const double elapsed = std::chrono::duration<double>(now - g_start).count() + g_offset.load();
    g_clock.store(static_cast<float>(elapsed));

    // One pass, then at most as many more as the first reported, so jobs
    // that queue further jobs cannot hold the loop here for ever.
    JobQueue& queue = JobQueue::Instance();
    const uint32_t first = queue.Process(0);
    for (uint32_t i = 0; first != 0 && i < first; ++i) {
        if (queue.Process(0) == 0) {
            break;
        }
    }
    Nyx::PStringCache::CollectGarbage();
}

float ToolClockSeconds()
{
    return g_clock.load();
}

void AdvanceToolClock(double seconds)
{
    g_offset.store(g_offset.load() + seconds);
}
