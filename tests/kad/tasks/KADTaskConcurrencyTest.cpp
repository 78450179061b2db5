// A task worked on a thread of its own that goes while the thread works.
#include "kad/tasks/KADTaskRepairDatabase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "core/ConcurrencyTestSupport.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/tasks/KADTask.h"
#include "nyx/base/Thread.h"

namespace {

using concurrencytest::WaitUntil;

// Paces the polls without deciding anything.
void ShortWait(uint32_t) { Nyx::Thread::Sleep(1); }

std::string PollAnswer(bool running) { return wire::Bytes().U8(running ? 1 : 0).F32(0.5f).Text("busy").Str(); }

// Writes down, outside itself, how its thread ended.
class ThreadTask : public KADTask {
public:
    struct Ending {
        std::atomic<int> finished{0};
        std::atomic<Nyx::Thread::Id> on{0};
        std::atomic<bool> stillRunning{true};
        std::atomic<bool> cancelled{false};
    };
    explicit ThreadTask(Ending& ending) : ending_(ending) {}
    ~ThreadTask() override { StopThread(); }
    void OnFinished() override
    {
        ending_.on.store(Nyx::Thread::CurrentId());
        ending_.stillRunning.store(IsRunning());
        ending_.cancelled.store(IsCancelRequested());
        ending_.finished.fetch_add(1);
    }

private:
    Ending& ending_;
};

class TaskThreadConcurrencyTest : public ::testing::Test {
protected:
    TaskThreadConcurrencyTest() { KADTaskRepairDatabase::SetWaitFunctionForTest(&ShortWait); }
    ~TaskThreadConcurrencyTest() override { KADTaskRepairDatabase::SetWaitFunctionForTest(nullptr); }
};

TEST_F(TaskThreadConcurrencyTest, ATaskThatGoesCancelsItsThreadAndWaitsForIt)
{
    std::atomic<int> polls{0};
    // The daemon never says done: only the cancel ends the repair.
    ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 4)
            polls.fetch_add(1);
        return PollAnswer(true);
    });
    ThreadTask::Ending ending;
    auto task = std::make_unique<ThreadTask>(ending);
    ASSERT_TRUE(task->Start(std::make_unique<KADTaskRepairDatabase>(100, nullptr)));
    EXPECT_TRUE(task->IsRunning());
    ASSERT_TRUE(WaitUntil([&]() { return polls.load() >= 3; })) << "the repair does not poll";
    EXPECT_TRUE(KADTaskRepairDatabase::IsRunning());
    // A second thread for the same task is refused.
    EXPECT_FALSE(task->Start(std::make_unique<KADTaskRepairDatabase>(100, nullptr)));

    task.reset();
    EXPECT_EQ(ending.finished.load(), 1);
    EXPECT_NE(ending.on.load(), 0u);
    EXPECT_NE(ending.on.load(), Nyx::Thread::CurrentId());
    EXPECT_FALSE(ending.stillRunning.load());
    EXPECT_TRUE(ending.cancelled.load());
    EXPECT_FALSE(KADTaskRepairDatabase::IsRunning());
}

}  // namespace
