#include "core/threads/JobQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "core/threads/BusyGate.h"
#include "core/ConcurrencyTestSupport.h"
#include "core/threads/KestroWorkerCallChain.h"
#include "core/process/ProcessState.h"
#include "nyx/base/Thread.h"

using namespace concurrencytest;

namespace {

constexpr uint32_t kMain = JobQueue::kMainThreadOnly;
constexpr uint32_t kAsync = JobQueue::kAsync;
constexpr uint32_t kWorker = JobQueue::kWorkerOnly;
constexpr uint32_t kNoLockWait = JobQueue::kNotInLockWait;

class JobQueueConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override { SetMainThreadId(); }
};

// Which thread ran a job and whether its callback was deleted.
struct Probe {
    std::atomic<Nyx::Thread::Id> ranOn{0};
    std::atomic<int> runs{0};
    std::atomic<int> deleted{0};

    FnJob* Job()
    {
        return new FnJob(
            [this](intptr_t) {
                ranOn = Nyx::Thread::CurrentId();
                runs.fetch_add(1);
            },
            &deleted);
    }
};

// Jobs the calling thread may run, and need not queue, run inline; the rest
// wait for a thread of the right kind.
TEST_F(JobQueueConcurrencyTest, SubmitRunsInlineOrOnTheRightThread)
{
    struct Row {
        uint32_t flags;
        bool fromMain;
        bool inlineRun;
        bool onMain;  // where a queued job runs
    };
    const Row rows[] = {
        {0, true, true, true},
        {0x2, true, true, true},
        {kMain, true, true, true},
        {3, true, true, true},
        {7, true, true, true},
        {kWorker, true, false, false},
        {kWorker | kNoLockWait, true, false, false},
        {0, false, true, false},
        {kWorker, false, true, false},
        {kNoLockWait, false, true, false},
        {kMain, false, false, true},
        {3, false, false, true},
        {7, false, false, true},
    };
    JobQueue queue;
    TaskThread other;
    const Nyx::Thread::Id mainId = Nyx::Thread::CurrentId();
    const Nyx::Thread::Id otherId = other.Run([] { return Nyx::Thread::CurrentId(); });
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "flags " << row.flags << (row.fromMain ? " from main" : " from other"));
        Probe probe;
        bool ok;
        if (row.fromMain) {
            ok = queue.Submit(probe.Job(), row.flags, 0);
        } else {
            auto result = other.Post([&] { return queue.Submit(probe.Job(), row.flags, 0); });
            // A main-thread job waits for the main thread's polling.
            while (!IsReady(result)) {
                if (queue.WaitEvent(10))
                    queue.Process(0);
            }
            ok = result.get();
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(probe.runs.load(), 1);
        EXPECT_EQ(probe.deleted.load(), 1);
        Nyx::Thread::Id submitter = row.fromMain ? mainId : otherId;
        if (row.inlineRun)
            EXPECT_EQ(probe.ranOn.load(), submitter);
        else if (row.onMain)
            EXPECT_EQ(probe.ranOn.load(), mainId);
        else
            EXPECT_NE(probe.ranOn.load(), mainId);
        EXPECT_FALSE(queue.HasPendingJobs());
    }
}

TEST_F(JobQueueConcurrencyTest, AsyncMainThreadJobsWakeTheMainThreadOncePerBatch)
{
    JobQueue queue;
    EXPECT_FALSE(queue.WaitEvent(0));
    Probe probes[3];
    TaskThread other;
    other.Run([&] {
        for (Probe& p : probes)
            EXPECT_TRUE(queue.Submit(p.Job(), kMain | kAsync, 0));
    });
    for (Probe& p : probes)
        EXPECT_EQ(p.runs.load(), 0);
    EXPECT_TRUE(queue.HasPendingJobs());
    EXPECT_TRUE(queue.WaitEvent(0));

    // Each Process runs one job and tells how many are left behind it.
    EXPECT_EQ(queue.Process(0), 2u);
    EXPECT_EQ(probes[0].runs.load(), 1);
    // Nothing was submitted since the main thread looked.
    EXPECT_FALSE(queue.WaitEvent(0));
    EXPECT_EQ(queue.Process(0), 1u);
    EXPECT_EQ(queue.Process(0), 0u);
    EXPECT_EQ(queue.Process(0), 0u);
    for (Probe& p : probes) {
        EXPECT_EQ(p.runs.load(), 1);
        EXPECT_EQ(p.ranOn.load(), Nyx::Thread::CurrentId());
    }
    EXPECT_FALSE(queue.HasPendingJobs());

    // A job submitted after the look wakes it again.
    Probe late;
    other.Run([&] { queue.Submit(late.Job(), 9, 0); });
    EXPECT_TRUE(queue.WaitEvent(0));
    EXPECT_EQ(queue.Process(0), 0u);
    EXPECT_EQ(late.runs.load(), 1);
}

// A thread waiting for jobs to finish is woken by one run on the main thread
// as by one run on a worker. The event is pulsed, not left set: a wait that
// begins later does not see an old finish.
TEST_F(JobQueueConcurrencyTest, FinishedJobsWakeTheirWaiters)
{
    struct Row {
        const char* name;
        uint32_t flags;
    } rows[] = {
        {"main thread", kMain | kAsync},
        {"worker", kWorker | kAsync},
    };
    std::atomic<int> runs{0};  // outlives the queue, which may still run a job at its end
    JobQueue queue;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskThread waiter;
        auto woken = waiter.Post([&] { return queue.WaitJobFinished(10000); });
        // The waiter may not be waiting yet, so jobs keep coming until it wakes.
        EXPECT_TRUE(WaitUntil(
            [&] {
                queue.Submit(new FnJob([&](intptr_t) { runs.fetch_add(1); }), row.flags, 0);
                queue.Process(0);
                return IsReady(woken);
            },
            std::chrono::milliseconds(20000)));
        EXPECT_TRUE(woken.get());
        EXPECT_FALSE(queue.WaitJobFinished(0));
    }
    EXPECT_GE(runs.load(), 2);
}

TEST_F(JobQueueConcurrencyTest, MainThreadSkipsWorkerJobsAndLockWaitsSkipFlaggedOnes)
{
    JobQueue queue;
    Probe kept, taken;
    ASSERT_TRUE(queue.Submit(kept.Job(), kMain | kNoLockWait | kAsync, 0));
    ASSERT_TRUE(queue.Submit(taken.Job(), kMain | kAsync, 0));
    // The lock-wait mask passes over the first and runs the second.
    EXPECT_EQ(queue.Process(kNoLockWait), 1u);
    EXPECT_EQ(taken.runs.load(), 1);
    EXPECT_EQ(queue.Process(kNoLockWait), 0u);
    EXPECT_EQ(kept.runs.load(), 0);
    EXPECT_EQ(queue.Process(0), 0u);
    EXPECT_EQ(kept.runs.load(), 1);

    // Worker-only jobs never run on the main thread, however often it polls.
    constexpr int kJobs = 20;
    Probe workerJobs[kJobs];
    std::atomic<int> onMain{0};
    for (Probe& p : workerJobs) {
        queue.Submit(new FnJob([&](intptr_t) {
                         if (IsMainThread())
                             onMain.fetch_add(1);
                         p.runs.fetch_add(1);
                     }),
                     kWorker | kAsync, 0);
        queue.Process(0);
    }
    EXPECT_TRUE(WaitUntil([&] {
        queue.Process(0);
        int done = 0;
        for (Probe& p : workerJobs)
            done += p.runs.load();
        return done == kJobs;
    }));
    EXPECT_EQ(onMain.load(), 0);
}

TEST_F(JobQueueConcurrencyTest, AtMostEightWorkers)
{
    JobQueue queue;
    constexpr int kJobs = 12;
    Latch release;
    std::atomic<int> running{0};
    std::atomic<int> finished{0};
    std::mutex idsLock;
    std::set<Nyx::Thread::Id> ids;
    for (int i = 0; i < kJobs; ++i) {
        ASSERT_TRUE(queue.Submit(new FnJob([&](intptr_t) {
                                     {
                                         std::lock_guard<std::mutex> g(idsLock);
                                         ids.insert(Nyx::Thread::CurrentId());
                                     }
                                     running.fetch_add(1);
                                     release.Wait();
                                     finished.fetch_add(1);
                                 }),
                                 kWorker | kAsync, 0));
    }
    ASSERT_TRUE(WaitUntil([&] { return running.load() == int(JobQueue::kMaxWorkers); }));
    // Every worker is busy and the list still holds jobs: no ninth worker.
    EXPECT_EQ(queue.WorkerCount(), JobQueue::kMaxWorkers);
    EXPECT_TRUE(queue.HasPendingJobs());
    Probe oneMore;
    ASSERT_TRUE(queue.Submit(oneMore.Job(), kWorker | kAsync, 0));
    EXPECT_EQ(queue.WorkerCount(), JobQueue::kMaxWorkers);

    release.Open();
    ASSERT_TRUE(WaitUntil([&] { return finished.load() == kJobs && oneMore.runs.load() == 1; }));
    std::lock_guard<std::mutex> g(idsLock);
    EXPECT_LE(ids.size(), size_t(JobQueue::kMaxWorkers));
}

TEST_F(JobQueueConcurrencyTest, IdleWorkerTakesNewWorkInsteadOfANewThread)
{
    JobQueue queue;
    Probe first, second;
    ASSERT_TRUE(queue.Submit(first.Job(), kWorker, 0));
    ASSERT_TRUE(WaitUntil([&] { return queue.IdleWorkerCount() == 1; }));
    ASSERT_TRUE(queue.Submit(second.Job(), kWorker, 0));
    EXPECT_EQ(second.ranOn.load(), first.ranOn.load());
    EXPECT_EQ(queue.WorkerCount(), 1u);
}

TEST_F(JobQueueConcurrencyTest, IdleWorkersEndAfterTheIdleTime)
{
    JobQueue queue(20);
    Probe first, second;
    ASSERT_TRUE(queue.Submit(first.Job(), kWorker, 0));
    EXPECT_TRUE(WaitUntil([&] { return queue.WorkerCount() == 0; }));
    // Work after that starts a fresh worker.
    ASSERT_TRUE(queue.Submit(second.Job(), kWorker, 0));
    EXPECT_EQ(second.runs.load(), 1);
    EXPECT_NE(second.ranOn.load(), first.ranOn.load());
    EXPECT_TRUE(WaitUntil([&] { return queue.WorkerCount() == 0; }));
}

// Workers that end just as work arrives must not strand it: every waited
// submission comes back.
TEST_F(JobQueueConcurrencyTest, WorkArrivingAsWorkersTimeOutIsNotStranded)
{
    // Declared before the queue: should a submission be stranded, the
    // queue's shut-down cancels it and these threads can still be joined.
    TaskThread a, b;
    JobQueue queue(1);
    std::atomic<int> runs{0};
    auto submitSome = [&] {
        for (int i = 0; i < 100; ++i) {
            queue.Submit(new FnJob([&](intptr_t) { runs.fetch_add(1); }), kWorker, 0);
            Nyx::Thread::Sleep(i % 3);
        }
    };
    auto fa = a.Post(submitSome);
    auto fb = b.Post(submitSome);
    EXPECT_TRUE(WaitUntil([&] { return IsReady(fa) && IsReady(fb); }, std::chrono::milliseconds(20000)));
    EXPECT_EQ(runs.load(), 200);
}

TEST_F(JobQueueConcurrencyTest, ShutdownCancelsWaitingJobs)
{
    JobQueue queue;
    BusyGate gate;
    ASSERT_TRUE(gate.TryAcquire());
    Probe waited, async, after;
    TaskThread other;
    // Nobody polls this queue on the main thread, so the job waits.
    auto result = other.Post([&] { return queue.Submit(waited.Job(), 3, 0, &gate); });
    ASSERT_TRUE(WaitUntil([&] { return queue.HasPendingJobs(); }));
    ASSERT_TRUE(queue.Submit(async.Job(), kMain | kAsync, 0));

    queue.Shutdown();
    EXPECT_FALSE(result.get());
    EXPECT_EQ(waited.runs.load(), 0);
    EXPECT_EQ(waited.deleted.load(), 1);
    EXPECT_EQ(async.runs.load(), 0);
    EXPECT_EQ(async.deleted.load(), 1);
    EXPECT_FALSE(queue.HasPendingJobs());
    EXPECT_EQ(queue.WorkerCount(), 0u);
    // The discarded job's gate was released.
    EXPECT_TRUE(gate.TryAcquire());
    gate.Release();

    // Afterwards nothing is run from the queue; what would be queued is refused.
    EXPECT_EQ(queue.Process(0), 0u);
    EXPECT_FALSE(queue.Submit(after.Job(), kWorker, 0));
    EXPECT_FALSE(other.Run([&] { return queue.Submit(after.Job(), 3, 0); }));
    EXPECT_EQ(after.runs.load(), 0);
    EXPECT_EQ(after.deleted.load(), 2);
    // Inline runs never touch the queue.
    EXPECT_TRUE(queue.Submit(after.Job(), 0, 0));
    EXPECT_EQ(after.runs.load(), 1);
}

TEST_F(JobQueueConcurrencyTest, ShutdownStopsBusyAndIdleWorkers)
{
    JobQueue queue;
    Latch release;
    std::atomic<int> started{0};
    for (int i = 0; i < 3; ++i) {
        queue.Submit(new FnJob([&](intptr_t) {
                         started.fetch_add(1);
                         release.Wait();
                     }),
                     kWorker | kAsync, 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return started.load() == 3; }));
    TaskThread stopper;
    auto stopped = stopper.Post([&] { queue.Shutdown(); });
    // Running jobs finish; Shutdown waits for their workers.
    EXPECT_FALSE(IsReady(stopped));
    release.Open();
    stopped.get();
    EXPECT_EQ(queue.WorkerCount(), 0u);
}

// The argument travels pointer-wide through the queue to the bound call.
TEST_F(JobQueueConcurrencyTest, CallbacksReceiveTheWholeArgument)
{
    struct Target {
        std::atomic<void*> seen{nullptr};
        void Take(void* p) { seen = p; }
    } target;
    JobQueue queue;
    ASSERT_TRUE(queue.Submit(new TCXCallbackCPPVoidPtr<Target>(&target, &Target::Take), kWorker,
                             reinterpret_cast<intptr_t>(&target)));
    EXPECT_EQ(target.seen.load(), &target);

    static std::atomic<intptr_t> s_seen{0};
    const intptr_t wide = static_cast<intptr_t>(uintptr_t(1) << (sizeof(intptr_t) * 8 - 2)) + 5;
    ASSERT_TRUE(queue.Submit(new TCXCallbackCIntPtr([](intptr_t v) { s_seen = v; }), kWorker, wide));
    EXPECT_EQ(s_seen.load(), wide);
    EXPECT_EQ(TCXCallbackBase().Invoke(0), -1);
}

// The chain's calls, with where each ran and whether two ever overlapped.
struct ChainLog {
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> wrongThread{false};

    TCXCallbackBase* Call(int id, bool wantMain)
    {
        return new FnJob([this, id, wantMain](intptr_t) {
            if (active.fetch_add(1) != 0)
                overlapped = true;
            if (IsMainThread() != wantMain)
                wrongThread = true;
            Nyx::Thread::Sleep(1);
            {
                std::lock_guard<std::mutex> g(lock);
                order.push_back(id);
            }
            active.fetch_sub(1);
        });
    }
};

TEST_F(JobQueueConcurrencyTest, ChainRunsItsCallsInOrderOnTheirThreads)
{
    KestroWorkerCallChain chain;
    ChainLog log;
    chain.WaitIdle();  // never started: idle at once
    chain.AppendCall(log.Call(0, true), kMain);
    chain.AppendCall(log.Call(1, false), kWorker);
    chain.AppendCall(log.Call(2, true), kMain);
    chain.Start();
    // The main thread waiting for the chain runs the chain's main-thread calls.
    chain.WaitIdle();
    EXPECT_FALSE(chain.IsRunning());
    EXPECT_EQ(log.order, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(log.overlapped.load());
    EXPECT_FALSE(log.wrongThread.load());
}

TEST_F(JobQueueConcurrencyTest, ChainsStartedBackToBackRunOneAfterAnother)
{
    KestroWorkerCallChain chain;
    ChainLog log;
    TaskThread starter;
    auto started = starter.Post([&] {
        for (int i = 0; i < 3; ++i)
            chain.AppendCall(log.Call(i, i % 2 == 0), i % 2 == 0 ? kMain : kWorker);
        chain.Start();
        for (int i = 3; i < 6; ++i)
            chain.AppendCall(log.Call(i, i % 2 == 0), i % 2 == 0 ? kMain : kWorker);
        chain.Start();  // waits for the first run
    });
    // Serve the main-thread calls until both starts went through.
    while (!IsReady(started)) {
        if (JobQueue::Instance().Process(0) == 0)
            Nyx::Thread::Sleep(1);
    }
    started.get();
    chain.WaitIdle();
    EXPECT_EQ(log.order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_FALSE(log.overlapped.load());
    EXPECT_FALSE(log.wrongThread.load());
}

}  // namespace
