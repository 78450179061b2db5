#include "core/threads/JobQueue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include <pthread.h>

#include "core/threads/AppLock.h"
#include "core/threads/BusyGate.h"
#include "core/process/CrashReporter.h"
#include "core/process/ProcessState.h"

struct JobQueue::Worker {
    Nyx::Thread thread;
    std::atomic<bool> ended{false};  // the loop has returned; the thread only exits from here on
};

namespace {

// Every live queue, for the fork handlers. Never destroyed: queues with
// static lifetime leave it during the static clean-up.
struct QueueList {
    std::mutex lock;
    std::vector<JobQueue*> queues;
};

QueueList& Queues()
{
    static QueueList* const list = new QueueList;
    return *list;
}

// Constructed before main, whatever order the static initialisers run in.
[[maybe_unused]] JobQueue& g_jobQueueAtStart = JobQueue::Instance();

bool DebuggerAttached()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return false;
    bool traced = false;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            traced = std::strtol(line + 10, nullptr, 10) != 0;
            break;
        }
    }
    std::fclose(status);
    return traced;
}

}  // namespace

JobQueue::JobQueue(uint32_t workerIdleMs) : workerIdleMs_(workerIdleMs)
{
    // Jobs still running at exit may take the application lock; constructing
    // it first makes it outlive the queue, whose destructor waits for them.
    AppLock::Instance();
    static const bool forkHandlers = ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild) == 0;
    (void)forkHandlers;
    QueueList& list = Queues();
    std::lock_guard<std::mutex> hold(list.lock);
    list.queues.push_back(this);
}

JobQueue::~JobQueue()
{
    Shutdown();
    QueueList& list = Queues();
    std::lock_guard<std::mutex> hold(list.lock);
    std::erase(list.queues, this);
}

void JobQueue::LockAll()
{
    queueLock_.Enter();
    workerLock_.Enter();
    idleLock_.Enter();
}

void JobQueue::UnlockAll()
{
    idleLock_.Leave();
    workerLock_.Leave();
    queueLock_.Leave();
}

void JobQueue::BeforeFork()
{
    QueueList& list = Queues();
    list.lock.lock();
    for (JobQueue* queue : list.queues)
        queue->LockAll();
}

void JobQueue::AfterForkInParent()
{
    QueueList& list = Queues();
    for (JobQueue* queue : list.queues)
        queue->UnlockAll();
    list.lock.unlock();
}

void JobQueue::AfterForkInChild()
{
    QueueList& list = Queues();
    // The records stay reachable, not freed: freeing one joins its thread,
    // which does not exist here.
    static auto* const parentWorkers = new std::vector<Worker*>;
    for (JobQueue* queue : list.queues) {
        for (Worker* worker : queue->workers_)
            parentWorkers->push_back(worker);
        queue->workers_.Clear();
        queue->liveWorkers_.store(0, std::memory_order_relaxed);
        queue->idleWorkers_ = 0;
        // This thread is the only one, so the locks and events are made anew
        // over the old ones rather than released or destroyed: a recursive
        // lock knows its owner by a thread id the fork changed, and an event's
        // destructor would wait for the parent's waiters.
        new (&queue->queueLock_) Nyx::CriticalSection;
        new (&queue->workerLock_) Nyx::CriticalSection;
        new (&queue->idleLock_) Nyx::CriticalSection;
        new (&queue->workEvent_) Nyx::WEvent(false, false);
        new (&queue->jobFinished_) Nyx::WEvent(true, false);
        new (&queue->mainEvent_) Nyx::WEvent(true, false);
        if (queue->wakePosted_.load(std::memory_order_relaxed))
            queue->mainEvent_.Set();
    }
    new (&list.lock) std::mutex;
}

JobQueue& JobQueue::Instance()
{
    static JobQueue queue;
    return queue;
}

uint32_t JobQueue::CurrentThreadKind() { return IsMainThread() ? kMainThreadKind : kWorkerThreadKind; }

int32_t JobQueue::RunJob(TCXCallbackBase* callback, intptr_t argument)
{
    if (IsCommandGuardSet() && !DebuggerAttached()) {
        try {
            return callback->Invoke(argument);
        } catch (...) {
            // The command host must find a job's crash reported like a command's.
            CrashReporter::ReportAndEnd(kCrashExitCode);
        }
    }
    return callback->Invoke(argument);
}

void JobQueue::Discard(const JobEntry& entry)
{
    // The callback and gate go before the submitter hears of it: once it
    // sees done it may free what the callback refers to.
    delete entry.callback;
    if (entry.gate)
        entry.gate->Release();
    if (entry.completion) {
        entry.completion->cancelled.store(1, std::memory_order_relaxed);
        entry.completion->done.store(1, std::memory_order_release);
    }
}

bool JobQueue::Submit(TCXCallbackBase* callback, uint32_t flags, intptr_t argument, BusyGate* gate)
{
    if (!callback)
        return false;
    const bool async = (flags & kAsync) != 0;
    if (!async && (flags & CurrentThreadKind()) == 0) {
        std::unique_ptr<TCXCallbackBase> owned(callback);
        RunJob(callback, argument);
        return true;
    }

    JobCompletion completion;
    const JobEntry entry{callback, argument, gate, flags, async ? nullptr : &completion};
    bool accepted = false;
    {
        Nyx::SingleLock guard(queueLock_);
        // After shut-down nobody would run it, and a waiting submitter would
        // hang for good: it is discarded like the jobs waiting at shut-down.
        if (!shuttingDown_.load(std::memory_order_relaxed)) {
            jobs_.Append(entry);
            accepted = true;
        }
    }
    if (!accepted) {
        Discard(entry);
        return false;
    }

    if (flags & kMainThreadOnly) {
        // One wake-up per batch: the main thread clears the byte before it
        // looks at the list, so a job appended after its look flips it again.
        if (wakePosted_.exchange(1, std::memory_order_acq_rel) == 0)
            mainEvent_.Set();
    } else {
        WakeWorkers();
    }
    if (async)
        return true;
    while (!completion.done.load(std::memory_order_acquire))
        Nyx::Thread::Sleep(1);
    return completion.cancelled.load(std::memory_order_relaxed) == 0;
}

void JobQueue::WakeWorkers()
{
    {
        // An idle worker decides to end under this lock and only when the work
        // event is clear, so setting it here can never go unanswered.
        Nyx::SingleLock guard(idleLock_);
        if (idleWorkers_ != 0) {
            workEvent_.Set();
            return;
        }
    }
    bool started = false;
    {
        Nyx::SingleLock guard(workerLock_);
        ReapWorkers();
        // Shutdown sets the flag before it first takes this lock, so a worker
        // started here is one it will wait for.
        if (!shuttingDown_.load(std::memory_order_acquire) && liveWorkers_.load(std::memory_order_relaxed) < kMaxWorkers)
            started = StartWorker();
    }
    // A new worker looks at the list before it ever waits; setting the event
    // for it would only leave a stale wake-up that pulls an idle worker out of
    // its wait just as the next job arrives, and a needless worker gets started.
    if (!started)
        workEvent_.Set();
}

bool JobQueue::StartWorker()
{
    auto* worker = new Worker;
    liveWorkers_.fetch_add(1, std::memory_order_acq_rel);
    if (!worker->thread.Start([this, worker] { WorkerLoop(worker); })) {
        // Dropped silently: the job stays queued for the next worker or a
        // polling thread.
        liveWorkers_.fetch_sub(1, std::memory_order_acq_rel);
        delete worker;
        return false;
    }
    workers_.Append(worker);
    return true;
}

void JobQueue::ReapWorkers()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        Worker* worker = *it;
        if (worker->ended.load(std::memory_order_acquire)) {
            it = workers_.Erase(it);
            delete worker;  // joins a thread that is only exiting
        } else {
            ++it;
        }
    }
}

void JobQueue::WorkerLoop(Worker* self)
{
    for (;;) {
        while (Process(0) != 0) {
        }
        {
            Nyx::SingleLock guard(idleLock_);
            if (shuttingDown_.load(std::memory_order_acquire)) {
                liveWorkers_.fetch_sub(1, std::memory_order_acq_rel);
                break;
            }
            ++idleWorkers_;
        }
        bool woken = workEvent_.Wait(workerIdleMs_);
        Nyx::SingleLock guard(idleLock_);
        --idleWorkers_;
        if (woken)
            continue;
        // Timed out; but a submitter that counted on this worker being idle
        // has set the event before this lock was free, so look once more.
        if (!shuttingDown_.load(std::memory_order_acquire) && workEvent_.Wait(0))
            continue;
        liveWorkers_.fetch_sub(1, std::memory_order_acq_rel);
        break;
    }
    self->ended.store(true, std::memory_order_release);
}

uint32_t JobQueue::IdleWorkerCount()
{
    Nyx::SingleLock guard(idleLock_);
    return idleWorkers_;
}

uint32_t JobQueue::Process(uint32_t excludeMask)
{
    if (shuttingDown_.load(std::memory_order_acquire))
        return 0;
    const bool onMainThread = IsMainThread();
    excludeMask |= onMainThread ? kMainThreadKind : kWorkerThreadKind;
    if (onMainThread) {
        mainEvent_.Reset();
        wakePosted_.store(0, std::memory_order_release);
    }

    JobEntry job{};
    bool taken = false;
    bool passedOver = false;
    uint32_t count;
    {
        Nyx::SingleLock guard(queueLock_);
        count = jobs_.Count();
        if (count == 0)
            workEvent_.Reset();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if ((it->flags & excludeMask) == 0) {
                job = *it;
                jobs_.Erase(it);
                running_.Append(&job);
                taken = true;
                break;
            }
            passedOver = true;
        }
    }
    if (onMainThread && passedOver)
        WakeWorkers();
    if (!taken)
        return 0;

    // Finishing happens on the way out, so an exception that an unguarded job
    // lets escape neither leaves its submitter waiting for good nor leaves the
    // running set pointing into this frame.
    struct Finish {
        JobQueue& queue;
        JobEntry& job;
        ~Finish()
        {
            delete job.callback;
            if (job.completion)
                job.completion->done.store(1, std::memory_order_release);
            {
                Nyx::SingleLock guard(queue.queueLock_);
                queue.running_.Erase(queue.running_.Find(&job));
            }
            queue.jobFinished_.Pulse();
        }
    } finish{*this, job};
    RunJob(job.callback, job.argument);
    return count - 1;
}

bool JobQueue::HasPendingJobs()
{
    Nyx::SingleLock guard(queueLock_);
    return !jobs_.Empty();
}

bool JobQueue::WaitEvent(uint32_t timeoutMs) { return mainEvent_.Wait(timeoutMs); }

bool JobQueue::WaitJobFinished(uint32_t timeoutMs) { return jobFinished_.Wait(timeoutMs); }

void JobQueue::Shutdown()
{
    JobRecordRing<JobEntry> waiting;
    {
        Nyx::SingleLock guard(queueLock_);
        waiting = std::move(jobs_);
        shuttingDown_.store(1, std::memory_order_release);
    }
    for (const JobEntry& entry : waiting)
        Discard(entry);
    waiting.Clear();

    Nyx::SingleLock guard(workerLock_);
    ReapWorkers();
    while (!workers_.Empty()) {
        workerLock_.Leave();
        workEvent_.Set();
        Nyx::Thread::Sleep(10);
        workerLock_.Enter();
        ReapWorkers();
    }
}
