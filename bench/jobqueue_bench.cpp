// Costs of the runtime services against the plain standard-library shapes:
//  - a waited Submit round trip (the job runs on a queue worker, the
//    submitter polls its completion byte) against a condition-variable queue
//    with one worker and a condition-variable completion;
//  - a shared acquire/release of the application lock against
//    std::shared_mutex, on one thread and on four.
// The ratios (ours / reference) are printed after the table.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "core/threads/AppLock.h"
#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"

#include "RatioReporter.h"

namespace {

class NoopJob : public TCXCallbackBase {
public:
    int32_t Invoke(intptr_t) override { return 0; }
};

void BM_JobQueueWaitedSubmit(benchmark::State& state)
{
    // As the main thread, a worker-only job cannot run inline: every Submit
    // goes through the queue to a worker and back.
    SetMainThreadId();
    JobQueue queue;
    for (auto _ : state) {
        bool ok = queue.Submit(new NoopJob, JobQueue::kWorkerOnly, 0);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_JobQueueWaitedSubmit)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The reference: one worker, a deque under a mutex, a condition variable each way.
class CondVarQueue {
public:
    CondVarQueue()
        : worker_([this] { Loop(); })
    {
    }
    ~CondVarQueue()
    {
        {
            std::lock_guard<std::mutex> g(m_);
            stop_ = true;
        }
        cv_.notify_all();
        worker_.join();
    }

    void SubmitAndWait(std::function<void()> fn)
    {
        std::mutex doneLock;
        std::condition_variable doneCv;
        bool done = false;
        {
            std::lock_guard<std::mutex> g(m_);
            jobs_.emplace_back([&] {
                fn();
                std::lock_guard<std::mutex> d(doneLock);
                done = true;
                doneCv.notify_one();
            });
        }
        cv_.notify_one();
        std::unique_lock<std::mutex> d(doneLock);
        doneCv.wait(d, [&] { return done; });
    }

private:
    void Loop()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> g(m_);
                cv_.wait(g, [&] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool stop_ = false;
    std::thread worker_;
};

void BM_CondVarQueueWaitedSubmit(benchmark::State& state)
{
    CondVarQueue queue;
    for (auto _ : state)
        queue.SubmitAndWait([] {});
}
BENCHMARK(BM_CondVarQueueWaitedSubmit)->Unit(benchmark::kMicrosecond)->UseRealTime();

AppLock g_lock;
std::shared_mutex g_sharedMutex;

void BM_AppLockShared(benchmark::State& state)
{
    for (auto _ : state) {
        g_lock.Acquire(false);
        g_lock.Release();
    }
}
BENCHMARK(BM_AppLockShared)->Threads(1)->Threads(4)->UseRealTime();

void BM_SharedMutexShared(benchmark::State& state)
{
    for (auto _ : state) {
        g_sharedMutex.lock_shared();
        g_sharedMutex.unlock_shared();
    }
}
BENCHMARK(BM_SharedMutexShared)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    RatioReporter reporter;
    if (!RunBenchmarksWith(reporter, argc, argv))
        return 1;
    std::printf("\nRatios (ours / reference, time per operation):\n");
    PrintTimeRatio(reporter, "waited Submit round trip", "BM_JobQueueWaitedSubmit/real_time",
               "BM_CondVarQueueWaitedSubmit/real_time");
    PrintTimeRatio(reporter, "shared acquire/release, 1 thread", "BM_AppLockShared/real_time/threads:1",
               "BM_SharedMutexShared/real_time/threads:1");
    PrintTimeRatio(reporter, "shared acquire/release, 4 threads", "BM_AppLockShared/real_time/threads:4",
               "BM_SharedMutexShared/real_time/threads:4");
    benchmark::Shutdown();
    return 0;
}
