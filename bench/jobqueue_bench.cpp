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

// Keeps the time per iteration of every run for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                perIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> perIteration;
};

void PrintRatio(const RatioReporter& r, const char* label, const std::string& ours, const std::string& reference)
{
    auto a = r.perIteration.find(ours);
    auto b = r.perIteration.find(reference);
    if (a == r.perIteration.end() || b == r.perIteration.end() || b->second <= 0)
        return;
    std::printf("%-40s %8.2fx  (%s / %s)\n", label, a->second / b->second, ours.c_str(), reference.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (ours / reference, time per operation):\n");
    PrintRatio(reporter, "waited Submit round trip", "BM_JobQueueWaitedSubmit/real_time",
               "BM_CondVarQueueWaitedSubmit/real_time");
    PrintRatio(reporter, "shared acquire/release, 1 thread", "BM_AppLockShared/real_time/threads:1",
               "BM_SharedMutexShared/real_time/threads:1");
    PrintRatio(reporter, "shared acquire/release, 4 threads", "BM_AppLockShared/real_time/threads:4",
               "BM_SharedMutexShared/real_time/threads:4");
    benchmark::Shutdown();
    return 0;
}
