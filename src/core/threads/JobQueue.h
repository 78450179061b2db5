// The process-wide queue of work that must run on a particular kind of
// thread: engine resource loading and asset validation on the main thread,
// long conversions on background workers.
//
// A job is a callback object (owned by the queue from Submit on), an argument
// and flags saying which kind of thread may run it and whether the submitter
// waits. A job the calling thread may run, and need not queue, runs inline.
// Workers are started on demand, at most 8, and end after 30 s without work.
// The main thread runs its jobs when it polls with Process; submitting one
// sets the event WaitEvent waits on, once per batch.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/containers/BlockRing.h"
#include "core/threads/TCXCallback.h"
#include "nyx/base/CriticalSection.h"
#include "nyx/base/Thread.h"
#include "nyx/base/WEvent.h"

class BusyGate;

// Where a waiting submitter learns the end of its job.
struct JobCompletion {
    std::atomic<uint8_t> done{0};
    std::atomic<uint8_t> cancelled{0};  // discarded at shut-down, never run
};

struct JobEntry {
    TCXCallbackBase* callback;  // owned
    intptr_t argument;
    BusyGate* gate;             // released when the job is discarded at shut-down
    uint32_t flags;
    JobCompletion* completion;  // null for asynchronous jobs
};

class JobQueue {
public:
    // Job flags.
    static constexpr uint32_t kMainThreadOnly = 0x1;  // workers skip it; wakes the main thread
    static constexpr uint32_t kCarried = 0x2;         // carried along, not interpreted
    static constexpr uint32_t kNotInLockWait = 0x4;   // not run by an application-lock wait
    static constexpr uint32_t kAsync = 0x8;           // always queued; the submitter does not wait
    static constexpr uint32_t kWorkerOnly = 0x10;     // the main thread skips it

    // Thread kinds, matched against the flags: a job whose flags hold the
    // calling thread's kind is not for that thread.
    static constexpr uint32_t kMainThreadKind = 0x10;
    static constexpr uint32_t kWorkerThreadKind = 0x1;

    static constexpr uint32_t kMaxWorkers = 8;
    static constexpr uint32_t kWorkerIdleMs = 30000;

    // Tests build queues of their own with a short idle time; the tool has
    // only Instance().
    explicit JobQueue(uint32_t workerIdleMs = kWorkerIdleMs);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // The process-wide queue, constructed before main and shut down at exit.
    static JobQueue& Instance();

    // Runs or queues a job and takes the callback. Returns once the job ran
    // unless kAsync is set; false when it was discarded at shut-down instead.
    bool Submit(TCXCallbackBase* callback, uint32_t flags, intptr_t argument = 0, BusyGate* gate = nullptr);

    // Runs the first queued job that shares no flag with the mask (the calling
    // thread's kind added). Returns the number of jobs it left queued, 0 when
    // it ran none.
    uint32_t Process(uint32_t excludeMask);

    bool HasPendingJobs();

    // Waits until a main-thread job has been submitted since the last
    // Process on the main thread; false on time-out.
    bool WaitEvent(uint32_t timeoutMs);

    // Waits until some job run through Process finishes, on any thread;
    // false on time-out. Only jobs finishing after the wait began count.
    bool WaitJobFinished(uint32_t timeoutMs);

    // Discards the waiting jobs (their waiting submitters get false) and
    // stops the workers. Later submissions that would be queued are discarded
    // the same way.
    void Shutdown();

    // Workers alive and not on their way out, and those of them waiting for work.
    uint32_t WorkerCount() const noexcept { return liveWorkers_.load(std::memory_order_acquire); }
    uint32_t IdleWorkerCount();

    // Runs a callback, inside the job exception guard once commands run
    // guarded and no debugger is attached: an exception escaping the job ends
    // the process at once with exit code -100, after the crash report when
    // the crash reporter is installed.
    static int32_t RunJob(TCXCallbackBase* callback, intptr_t argument);

    static uint32_t CurrentThreadKind();

private:
    struct Worker;

    void WakeWorkers();
    bool StartWorker();   // under workerLock_
    void ReapWorkers();   // under workerLock_
    void WorkerLoop(Worker* self);
    static void Discard(const JobEntry& entry);

    // Fork handlers: every queue's locks are held across a fork, so that the
    // child gets its lists whole. A forked child has only the thread that
    // forked: it forgets the parent's workers (waiting for them, at the
    // child's exit say, would never end) and makes its locks and events anew.
    static void BeforeFork();
    static void AfterForkInParent();
    static void AfterForkInChild();
    void LockAll();
    void UnlockAll();

    Nyx::CriticalSection queueLock_;
    JobRecordRing<JobEntry> jobs_;                // waiting, in submission order
    SmallPointerRing<const JobEntry*> running_;   // being run at the moment
    Nyx::CriticalSection workerLock_;
    PointerBlockRing<Worker*> workers_;
    Nyx::WEvent jobFinished_{true, false};        // pulsed after every job Process ran
    Nyx::WEvent workEvent_{false, false};         // work for workers arrived
    std::atomic<uint8_t> shuttingDown_{0};
    Nyx::CriticalSection idleLock_;
    uint32_t idleWorkers_ = 0;
    std::atomic<uint32_t> liveWorkers_{0};
    const uint32_t workerIdleMs_;

    Nyx::WEvent mainEvent_{true, false};          // a main-thread job was submitted
    std::atomic<uint8_t> wakePosted_{0};          // mainEvent_ set since the main thread last looked
};
