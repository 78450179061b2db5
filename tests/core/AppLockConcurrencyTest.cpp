#include "core/threads/AppLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/threads/BusyGate.h"
#include "core/ConcurrencyTestSupport.h"
#include "core/threads/CountedLock.h"
#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"
#include "nyx/base/Thread.h"
#include "nyx/base/Time.h"

using namespace concurrencytest;

namespace {

// Makes `waiter` block on an exclusive request and returns once it counts as
// an exclusive waiter: from then on a newcomer's shared request fails.
std::future<bool> StartExclusiveWaiter(AppLock& lock, TaskThread& waiter, TaskThread& probe)
{
    auto pending = waiter.Post([&lock] { return lock.Acquire(true); });
    bool waiting = WaitUntil([&] {
        return probe.Run([&lock] {
            if (!lock.TryAcquire(false))
                return true;
            lock.Release();
            return false;
        });
    });
    EXPECT_TRUE(waiting);
    return pending;
}

TEST(AppLockConcurrencyTest, NestedSharedReleasesOnlyAtTheLast)
{
    AppLock lock;
    EXPECT_TRUE(lock.Acquire(false));
    EXPECT_TRUE(lock.Acquire(false));
    EXPECT_FALSE(lock.Release());
    EXPECT_TRUE(lock.Release());
    // Nothing held any more: a stray release changes nothing.
    EXPECT_FALSE(lock.Release());
    EXPECT_TRUE(lock.TryAcquire(true));
    EXPECT_TRUE(lock.Release());
}

TEST(AppLockConcurrencyTest, SharedHoldersOnManyThreads)
{
    AppLock lock;
    TaskThread a, b, c;
    EXPECT_TRUE(a.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_TRUE(b.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_FALSE(c.Run([&] { return lock.TryAcquire(true); }));
    EXPECT_FALSE(a.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(b.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(c.Run([&] { return lock.TryAcquire(true); }));
    EXPECT_TRUE(c.Run([&] { return lock.Release(); }));
}

TEST(AppLockConcurrencyTest, ExclusiveHolderNestsWhileOthersWait)
{
    AppLock lock;
    TaskThread owner, other;
    ASSERT_TRUE(owner.Run([&] { return lock.Acquire(true); }));
    EXPECT_TRUE(owner.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_TRUE(owner.Run([&] { return lock.TryAcquire(true); }));
    EXPECT_FALSE(other.Run([&] { return lock.TryAcquire(false); }));

    auto shared = other.Post([&] { return lock.Acquire(false); });
    EXPECT_FALSE(owner.Run([&] { return lock.Release(); }));
    EXPECT_FALSE(owner.Run([&] { return lock.Release(); }));
    EXPECT_FALSE(IsReady(shared));
    EXPECT_TRUE(owner.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(shared.get());
    EXPECT_TRUE(other.Run([&] { return lock.Release(); }));
}

TEST(AppLockConcurrencyTest, WaitingExclusiveRequestKeepsNewSharedHoldersOut)
{
    AppLock lock;
    TaskThread a, b, c, probe;
    ASSERT_TRUE(a.Run([&] { return lock.Acquire(false); }));
    auto exclusive = StartExclusiveWaiter(lock, b, probe);

    // Writer preference: a newcomer waits, a holder still nests.
    EXPECT_FALSE(c.Run([&] { return lock.TryAcquire(false); }));
    auto lateShared = c.Post([&] { return lock.Acquire(false); });
    EXPECT_TRUE(a.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_FALSE(a.Run([&] { return lock.Release(); }));
    EXPECT_FALSE(IsReady(exclusive));

    EXPECT_TRUE(a.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(exclusive.get());
    EXPECT_FALSE(IsReady(lateShared));
    EXPECT_TRUE(b.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(lateShared.get());
    // With the writer gone, newcomers share again.
    EXPECT_TRUE(probe.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_FALSE(probe.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(c.Run([&] { return lock.Release(); }));
}

TEST(AppLockConcurrencyTest, SharedHolderCannotRaiseToExclusive)
{
    AppLock lock;
    TaskThread a, b;
    ASSERT_TRUE(a.Run([&] { return lock.Acquire(false); }));
    // Alone and shared: still no upgrade.
    EXPECT_FALSE(a.Run([&] { return lock.TryAcquire(true); }));
    ASSERT_TRUE(b.Run([&] { return lock.Acquire(false); }));
    EXPECT_FALSE(a.Run([&] { return lock.TryAcquire(true); }));
    EXPECT_FALSE(b.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(a.Run([&] { return lock.Release(); }));

    // An exclusive hold with a nested shared one may be taken exclusively
    // again: every holder entry is the same thread and the hold is exclusive.
    ASSERT_TRUE(a.Run([&] { return lock.Acquire(true); }));
    EXPECT_TRUE(a.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_TRUE(a.Run([&] { return lock.TryAcquire(true); }));
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(a.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(a.Run([&] { return lock.Release(); }));
}

TEST(AppLockConcurrencyTest, ReleaseByThreadThatHoldsNothingIsIgnored)
{
    AppLock lock;
    TaskThread holder, stranger;
    ASSERT_TRUE(holder.Run([&] { return lock.Acquire(true); }));
    EXPECT_FALSE(stranger.Run([&] { return lock.Release(); }));
    EXPECT_FALSE(stranger.Run([&] { return lock.TryAcquire(false); }));
    EXPECT_TRUE(holder.Run([&] { return lock.Release(); }));
}

TEST(AppLockConcurrencyTest, WritersExcludeEveryoneUnderContention)
{
    AppLock lock;
    int shared = 0;                 // deliberately plain: the lock must order it
    std::atomic<int> writersIn{0};
    std::atomic<int> readersIn{0};
    std::atomic<bool> overlap{false};
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                bool write = (i + t) % 3 == 0;
                lock.Acquire(write);
                if (write) {
                    if (writersIn.fetch_add(1) != 0 || readersIn.load() != 0)
                        overlap = true;
                    ++shared;
                    writersIn.fetch_sub(1);
                } else {
                    readersIn.fetch_add(1);
                    if (writersIn.load() != 0)
                        overlap = true;
                    volatile int seen = shared;
                    (void)seen;
                    readersIn.fetch_sub(1);
                }
                lock.Release();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_FALSE(overlap.load());
    int writes = 0;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < kRounds; ++i)
            writes += (i + t) % 3 == 0;
    EXPECT_EQ(shared, writes);
    EXPECT_TRUE(lock.TryAcquire(true));
    EXPECT_TRUE(lock.Release());
}

TEST(AppLockConcurrencyTest, RetrySleepsGrowToTwentyMilliseconds)
{
    struct Row {
        int32_t retry;
        uint32_t ms;
    };
    const Row rows[] = {{-100, 0}, {-1, 0}, {0, 0}, {9, 0}, {10, 1}, {19, 1}, {105, 10}, {199, 19}, {200, 20}, {5000, 20}};
    for (const Row& row : rows)
        EXPECT_EQ(AppLock::RetrySleepMs(row.retry), row.ms) << "retry " << row.retry;
}

// A worker that holds the lock and needs the main thread for a job of its own
// gets it from the main thread's lock wait; jobs kept from lock waits stay.
TEST(AppLockConcurrencyTest, WaitingMainThreadRunsMainThreadJobs)
{
    SetMainThreadId();
    AppLock lock;
    JobQueue& queue = JobQueue::Instance();
    TaskThread worker;
    std::atomic<Nyx::Thread::Id> ranOn{0};
    std::atomic<bool> keptJobRan{false};

    ASSERT_TRUE(worker.Run([&] { return lock.Acquire(true); }));
    auto submitted = worker.Post([&] {
        queue.Submit(new FnJob([&](intptr_t) { keptJobRan = true; }),
                     JobQueue::kMainThreadOnly | JobQueue::kNotInLockWait | JobQueue::kAsync);
        bool ran = queue.Submit(new FnJob([&](intptr_t) { ranOn = Nyx::Thread::CurrentId(); }), 3);
        lock.Release();
        return ran;
    });
    ASSERT_TRUE(lock.Acquire(false));
    EXPECT_TRUE(submitted.get());
    EXPECT_EQ(ranOn.load(), Nyx::Thread::CurrentId());
    EXPECT_FALSE(keptJobRan.load());
    EXPECT_TRUE(lock.Release());

    // The command host's own polling runs it.
    EXPECT_TRUE(WaitUntil([&] {
        queue.Process(0);
        return keptJobRan.load();
    }));
}

std::atomic<int> g_drops{0};
void CountDrop() { g_drops.fetch_add(1); }

TEST(AppLockConcurrencyTest, LongMainThreadWaitTidiesAtEachInterval)
{
    SetMainThreadId();
    constexpr uint32_t kInterval = 30;
    AppLock lock(kInterval);
    g_drops = 0;
    SetUnusedResourceDropper(&CountDrop);
    TaskThread holder;
    ASSERT_TRUE(holder.Run([&] { return lock.Acquire(true); }));
    auto released = holder.Post([&] {
        bool sawTwo = WaitUntil([] { return g_drops.load() >= 2; });
        lock.Release();
        return sawTwo;
    });
    uint32_t start = Nyx::Time::GetTickCount();
    ASSERT_TRUE(lock.Acquire(false));
    uint32_t waited = Nyx::Time::GetTickCount() - start;
    EXPECT_TRUE(released.get());
    EXPECT_GE(g_drops.load(), 2);
    // A tidy needs more than one full interval since the last.
    EXPECT_GT(waited, 2 * kInterval);
    EXPECT_TRUE(lock.Release());

    // Other threads never tidy.
    g_drops = 0;
    TaskThread other;
    ASSERT_TRUE(holder.Run([&] { return lock.Acquire(true); }));
    auto otherWait = other.Post([&] { return lock.Acquire(false); });
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kInterval));
    EXPECT_TRUE(holder.Run([&] { return lock.Release(); }));
    EXPECT_TRUE(otherWait.get());
    EXPECT_TRUE(other.Run([&] { return lock.Release(); }));
    EXPECT_EQ(g_drops.load(), 0);
    SetUnusedResourceDropper(nullptr);
}

TEST(AppLockConcurrencyTest, GlobalLockThroughTheAliases)
{
    EXPECT_TRUE(AcquireAppLock(false));
    EXPECT_TRUE(AcquireAppLock(false));
    EXPECT_FALSE(ReleaseAppLock());
    EXPECT_TRUE(ReleaseAppLock());
    EXPECT_TRUE(AcquireAppLock(true));
    EXPECT_TRUE(ReleaseAppLock());
}

TEST(BusyGateConcurrencyTest, AcquireWaitsForTheHoldersRelease)
{
    BusyGate gate;
    gate.Acquire();  // free: returns at once
    TaskThread waiter, probe;
    auto claimed = waiter.Post([&] {
        gate.Acquire();
        return true;
    });
    EXPECT_FALSE(probe.Run([&] { return gate.TryAcquire(); }));
    EXPECT_FALSE(IsReady(claimed));
    // Any thread may release it.
    probe.Run([&] { gate.Release(); });
    EXPECT_TRUE(claimed.get());
    EXPECT_FALSE(gate.TryAcquire());
    waiter.Run([&] { gate.Release(); });
    EXPECT_TRUE(gate.TryAcquire());
    gate.Release();
    // A stray second release does not leave the gate stuck.
    gate.Release();
    EXPECT_TRUE(gate.TryAcquire());
    gate.Release();
}

TEST(BusyGateConcurrencyTest, OneHolderAtATime)
{
    BusyGate gate;
    int counter = 0;  // plain: the gate must order it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                gate.Acquire();
                ++counter;
                gate.Release();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(counter, 2000);
}

TEST(CountedLockConcurrencyTest, NestsAndExcludes)
{
    CountedLock lock;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                lock.Lock();
                lock.Lock();
                ++counter;
                lock.Unlock();
                ++counter;
                lock.Unlock();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(counter, 4000);
}

}  // namespace
