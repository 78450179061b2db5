#include "core/threads/JobQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/ConcurrencyTestSupport.h"
#include "core/process/CrashReporter.h"
#include "core/threads/KestroWorkerCallChain.h"
#include "core/process/ProcessState.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

using concurrencytest::FnJob;

namespace {

const int kGuardExitCode = static_cast<uint8_t>(-100);

FnJob* ThrowingJob()
{
    return new FnJob([](intptr_t) { throw std::runtime_error("job failed"); });
}

// Once commands run guarded, an exception escaping a job ends the process at
// once with -100, on whatever thread the job ran.
TEST(JobQueueDeathTest, GuardedJobsEndTheProcessOnAnEscapingException)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetMainThreadId();
            SetCommandGuard();
            JobQueue queue;
            queue.Submit(ThrowingJob(), 0, 0);
        },
        testing::ExitedWithCode(kGuardExitCode), "");
    EXPECT_EXIT(
        {
            SetMainThreadId();
            SetCommandGuard();
            JobQueue queue;
            queue.Submit(ThrowingJob(), JobQueue::kWorkerOnly, 0);
        },
        testing::ExitedWithCode(kGuardExitCode), "");
    EXPECT_EXIT(
        {
            SetMainThreadId();
            SetCommandGuard();
            KestroWorkerCallChain chain;
            chain.AppendCall(ThrowingJob(), JobQueue::kMainThreadOnly);
            chain.Start();
            chain.WaitIdle();
        },
        testing::ExitedWithCode(kGuardExitCode), "");
}

// In the command host a job that dies leaves the same report a command does
// before the process ends with -100, whichever thread ran it.
TEST(JobQueueTest, GuardedJobEndingTheProcessLeavesTheCrashReportFirst)
{
    enum class Path { Inline, Worker, Chain };
    struct Row {
        const char* name;
        Path path;
        bool reporterInstalled;
    } rows[] = {
        {"inline", Path::Inline, true},
        {"worker", Path::Worker, true},
        {"chain", Path::Chain, true},
        {"worker, no reporter", Path::Worker, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        int status = childprocess::RunInChild(folder.Path(), [&row] {
            SetMainThreadId();
            SetCommandGuard();
            if (row.reporterInstalled)
                CrashReporter::Install(false);
            if (row.path == Path::Chain) {
                KestroWorkerCallChain chain;
                chain.AppendCall(ThrowingJob(), JobQueue::kMainThreadOnly);
                chain.Start();
                chain.WaitIdle();
            } else {
                JobQueue queue;
                queue.Submit(ThrowingJob(), row.path == Path::Worker ? JobQueue::kWorkerOnly : 0, 0);
            }
            ::_exit(4);
        }, std::chrono::seconds(60));
        ASSERT_TRUE(status != -1 && WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), kGuardExitCode);
        EXPECT_EQ(folder.ReadAll("Kestro-41615.dmp").starts_with("Kestro crash report\n"), row.reporterInstalled);
    }
}

TEST(JobQueueTest, UnguardedInlineJobPassesItsExceptionToTheSubmitter)
{
    SetMainThreadId();
    JobQueue queue;
    std::atomic<int> deleted{0};
    auto* job = new FnJob([](intptr_t) { throw std::runtime_error("job failed"); }, &deleted);
    EXPECT_THROW(queue.Submit(job, 0, 0), std::runtime_error);
    EXPECT_EQ(deleted.load(), 1);
}

// The main thread's Process hands the exception on, and the job still counts
// as finished: its submitter is not left waiting.
TEST(JobQueueTest, UnguardedQueuedJobStillReleasesItsSubmitter)
{
    SetMainThreadId();
    JobQueue queue;
    std::atomic<int> deleted{0};
    concurrencytest::TaskThread other;
    auto submitted = other.Post([&] {
        return queue.Submit(new FnJob([](intptr_t) { throw std::runtime_error("job failed"); }, &deleted),
                            JobQueue::kMainThreadOnly, 0);
    });
    ASSERT_TRUE(concurrencytest::WaitUntil([&] { return queue.HasPendingJobs(); }));
    EXPECT_THROW(queue.Process(0), std::runtime_error);
    EXPECT_TRUE(submitted.get());
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_EQ(queue.Process(0), 0u);
}

TEST(ProcessStateTest, IdsAndClientValues)
{
    EXPECT_EQ(GetClientValueF32(), 0.0f);
    EXPECT_EQ(GetClientValueU32(), 0u);
    EXPECT_FALSE(GetClientFlag());

    concurrencytest::TaskThread other;
    other.Run([] { SetApplicationId("KestroUtil"); });
    EXPECT_EQ(GetApplicationId().Str(), "KestroUtil");
    // Setting the id records the setter as the main thread.
    EXPECT_FALSE(IsMainThread());
    EXPECT_TRUE(other.Run([] { return IsMainThread(); }));
    EXPECT_EQ(GetMainThreadId(), other.Run([] { return Nyx::Thread::CurrentId(); }));
    SetMainThreadId();
    EXPECT_TRUE(IsMainThread());
    EXPECT_EQ(JobQueue::CurrentThreadKind(), JobQueue::kMainThreadKind);
    EXPECT_EQ(other.Run([] { return JobQueue::CurrentThreadKind(); }), JobQueue::kWorkerThreadKind);
}

// A forked child has none of the parent's workers: it starts its own, and
// its exit (which shuts the process-wide queue down) does not wait for the
// parent's. The parent keeps its workers and its queue as they were.
TEST(JobQueueTest, AForkedChildStartsItsOwnWorkersAndLeavesWithoutWaitingForTheParents)
{
    SetMainThreadId();
    JobQueue queue;
    auto runOnWorker = [](JobQueue& q) {
        std::atomic<int> ran{0};
        bool done = q.Submit(new FnJob([&ran](intptr_t) { ran.fetch_add(1); }), JobQueue::kWorkerOnly, 0);
        return done && ran.load() == 1;
    };
    ASSERT_TRUE(runOnWorker(queue));
    ASSERT_TRUE(runOnWorker(JobQueue::Instance()));
    ASSERT_EQ(queue.WorkerCount(), 1u);

    TempFolder folder;
    int status = childprocess::RunInChild(folder.Path(), [&] {
        if (queue.WorkerCount() != 0 || JobQueue::Instance().WorkerCount() != 0)
            ::_exit(3);
        if (!runOnWorker(queue) || !runOnWorker(JobQueue::Instance()))
            ::_exit(4);
        if (queue.WorkerCount() != 1)
            ::_exit(5);
        queue.Shutdown();
        std::exit(0);
    }, std::chrono::seconds(120));
    ASSERT_NE(status, -1) << "the child did not end";
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << folder.ReadAll("child-stderr.txt");

    EXPECT_EQ(queue.WorkerCount(), 1u);
    EXPECT_TRUE(runOnWorker(queue));
}

}  // namespace
