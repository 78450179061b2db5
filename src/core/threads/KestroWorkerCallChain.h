// An ordered chain of calls of one object, run through the job queue one after
// another and never two at once, each on the kind of thread its flags name.
// Callers append the calls and start the chain; a second start waits until the
// run before it has finished.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>

#include "core/threads/BusyGate.h"
#include "core/threads/JobQueue.h"
#include "core/threads/TCXCallback.h"
#include "nyx/base/CriticalSection.h"

class KestroWorkerCallChain {
public:
    KestroWorkerCallChain() = default;
    // Deletes the calls that never ran. The chain must be idle.
    ~KestroWorkerCallChain();
    KestroWorkerCallChain(const KestroWorkerCallChain&) = delete;
    KestroWorkerCallChain& operator=(const KestroWorkerCallChain&) = delete;

    // Adds a call (taking the callback) with job-queue flags naming its thread
    // kind; calls never make the chain wait for them, so kAsync is added.
    void AppendCall(TCXCallbackBase* callback, uint32_t flags);

    // Runs the listed calls; waits first while an earlier run is in progress.
    void Start();
    // Hands the front call to the queue, or ends the run when none is left.
    void DispatchNext();
    // Returns once no run is in progress; meanwhile runs jobs of the queue
    // that this thread may run, else sleeps 10 ms between looks.
    void WaitIdle();

    bool IsRunning() const noexcept { return running_.load(std::memory_order_acquire) != 0; }

private:
    // The queued job: runs the front call, drops it, dispatches the next.
    void RunFront(void*);
    void EndRun();
    JobQueue& Queue() noexcept;

    std::atomic<uint8_t> running_{0};
    Nyx::CriticalSection callsLock_;  // callers may append while a run is going
    std::deque<JobEntry> calls_;
    BusyGate gate_;
    std::atomic<JobQueue*> queue_{nullptr};
};
