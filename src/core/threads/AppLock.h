// The application lock: the one process-wide reader/writer lock over state
// that many threads read and one loads (the interface text, and state of the
// validation library and the resource subsystem).
//
// Many threads may hold it shared, or one thread exclusively; a holder may
// take it again in either mode it already has. A thread waiting for exclusive
// access keeps newcomers out (writer preference), but holders can still nest.
// A shared holder can never raise its hold to exclusive: it would wait for
// itself, so such a request waits forever.
//
// Waiting spins, then sleeps ever longer (up to 20 ms). A waiting main thread
// keeps running main-thread jobs of the job queue meanwhile, so a worker that
// holds the lock and needs the main thread to finish its job can do so, and
// tidies caches every so often.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/containers/BlockRing.h"
#include "nyx/base/CriticalSection.h"
#include "nyx/base/Thread.h"

class AppLock {
public:
    static constexpr uint32_t kTidyIntervalMs = 15000;
    static constexpr uint32_t kMaxRetrySleepMs = 20;

    // Tests build their own locks with a short tidy interval; the tool has
    // only Instance().
    explicit AppLock(uint32_t tidyIntervalMs = kTidyIntervalMs) : tidyIntervalMs_(tidyIntervalMs) {}
    AppLock(const AppLock&) = delete;
    AppLock& operator=(const AppLock&) = delete;

    // The process-wide lock, constructed before main.
    static AppLock& Instance();

    bool TryAcquire(bool exclusive);
    // Waits without limit; true when it returns.
    bool Acquire(bool exclusive);
    // Gives back one acquisition of the calling thread; true when that left
    // the lock entirely free. A thread that holds nothing changes nothing.
    bool Release();

    // Retry n of a wait (counting from -100) sleeps this long.
    static uint32_t RetrySleepMs(int32_t retry) noexcept
    {
        int32_t ms = retry / 10;
        if (ms < 0)
            return 0;
        return ms > int32_t(kMaxRetrySleepMs) ? kMaxRetrySleepMs : uint32_t(ms);
    }

private:
    bool TryAcquireLocked(bool exclusive, Nyx::Thread::Id self);
    void Tidy(bool first);

    uint32_t count_ = 0;            // acquisitions held, nested ones included
    std::atomic<uint8_t> busy_{0};  // 1 while the holders hold it exclusively
    uint32_t waiters_ = 0;          // threads waiting for exclusive access
    Nyx::CriticalSection lock_;     // guards everything here
    RecordBlockRing<Nyx::Thread::Id> holders_;  // one entry per acquisition held, in order
    const uint32_t tidyIntervalMs_;
};

// The process-wide lock; `exclusive` selects the mode.
bool AcquireAppLock(bool exclusive);
bool ReleaseAppLock();
