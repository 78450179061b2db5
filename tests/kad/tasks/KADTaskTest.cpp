#include "kad/tasks/KADTaskRepairDatabase.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/results/InterfaceTextDB.h"
#include "config/results/ResultsLog.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/client/LinkWatch.h"
#include "kad/tasks/KADTask.h"

namespace {

// ---- the free-space test, on a stubbed statvfs ----

struct StatAnswer {
    int result = 0;
    uint64_t available = 0;  // f_bavail
    uint64_t free = 0;       // f_bfree: what only a privileged caller may use
    uint64_t fragmentSize = 0;
    uint64_t blockSize = 0;
};

StatAnswer g_statAnswer;
std::string g_statPath;

int FakeStat(const char* path, struct statvfs* out)
{
    g_statPath = path;
    *out = {};
    out->f_bavail = g_statAnswer.available;
    out->f_bfree = g_statAnswer.free;
    out->f_frsize = g_statAnswer.fragmentSize;
    out->f_bsize = g_statAnswer.blockSize;
    return g_statAnswer.result;
}

TEST(KADTaskThreadTest, EnoughDiskSpaceMeansAHundredMiBAvailableToAnUnprivilegedCaller)
{
    constexpr uint64_t kMiB100 = 100ull << 20;
    struct Case {
        const char* name;
        StatAnswer answer;
        bool enough;
    };
    const Case cases[] = {
        {"exactly 100 MiB in bytes", {0, kMiB100, kMiB100, 1, 1}, true},
        {"one byte less", {0, kMiB100 - 1, kMiB100 - 1, 1, 1}, false},
        {"exactly 100 MiB in 4 KiB blocks", {0, kMiB100 / 4096, kMiB100 / 4096, 4096, 4096}, true},
        {"one block less", {0, kMiB100 / 4096 - 1, kMiB100 / 4096 - 1, 4096, 4096}, false},
        // 3-byte blocks: 34,952,533 of them are one byte short of 100 MiB.
        {"a block size that does not divide it, short", {0, 34952533, 34952533, 3, 3}, false},
        {"a block size that does not divide it, enough", {0, 34952534, 34952534, 3, 3}, true},
        {"free only for the privileged", {0, 10, kMiB100, 1, 1}, false},
        // 2^44 + 1 blocks of 1 MiB: their bytes, counted in 64 bits, wrap
        // round to 1 MiB.
        {"more bytes than 64 bits hold", {0, (1ull << 44) + 1, (1ull << 44) + 1, 1u << 20, 1u << 20}, true},
        {"no fragment size: the block size counts", {0, kMiB100 / 512, 0, 0, 512}, true},
        {"no sizes at all", {0, UINT64_MAX, UINT64_MAX, 0, 0}, false},
        {"the call fails", {-1, UINT64_MAX, UINT64_MAX, 4096, 4096}, false},
    };
    KADTaskThread::SetStatFunctionForTest(&FakeStat);
    KADTaskThread thread;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_statAnswer = c.answer;
        g_statPath.clear();
        EXPECT_EQ(thread.HasEnoughDiskSpace(Nyx::File::Path("/data/local")), c.enough);
        EXPECT_EQ(g_statPath, "/data/local");
    }
    KADTaskThread::SetStatFunctionForTest(nullptr);
    // The real call answers for a folder that exists and refuses one that
    // does not.
    EXPECT_FALSE(thread.HasEnoughDiskSpace(Nyx::File::Path("/no/such/folder/here")));
}

// ---- the task's hooks ----

// A task class hears every hook through a caller that knows only KADTask;
// the base hears nothing and answers its question with 0.
TEST(KADTaskTest, EachHookReachesTheTaskClassAndIsQuietInTheBase)
{
    class Hearing : public KADTask {
    public:
        void OnProgress(float p) override { heard.push_back("progress " + std::to_string(p)); }
        void OnSignal() override { heard.push_back("signal"); }
        void OnSignalValue(uint32_t v) override { heard.push_back("signal " + std::to_string(v)); }
        void OnStatusText(const Nyx::String& t) override { heard.push_back("status " + t.Str()); }
        void OnFinished() override { heard.push_back("finished"); }
        uint32_t Query() override { return 7; }
        std::vector<std::string> heard;
    };
    auto callAll = [](KADTask& task) {
        task.OnProgress(0.5f);
        task.OnSignal();
        task.OnSignalValue(3);
        task.OnStatusText(Nyx::String("half"));
        task.OnFinished();
        return task.Query();
    };
    Hearing hearing;
    EXPECT_EQ(callAll(hearing), 7u);
    EXPECT_EQ(hearing.heard,
              (std::vector<std::string>{"progress 0.500000", "signal", "signal 3", "status half", "finished"}));
    KADTask plain;
    EXPECT_EQ(callAll(plain), 0u);
    EXPECT_EQ(plain.GetResultCount(), 0u);
}

// ---- the repair, against a scripted daemon ----

std::vector<uint32_t> g_waits;

void RecordWait(uint32_t ms) { g_waits.push_back(ms); }

// A task that writes down what it hears.
class RecordingTask : public KADTask {
public:
    void OnProgress(float progress) override { events.push_back("progress " + std::to_string(progress)); }
    void OnStatusText(const Nyx::String& text) override
    {
        events.push_back("status " + text.Str());
        if (++statusTexts == cancelAtStatus)
            RequestCancel();
    }

    std::vector<std::string> events;
    int statusTexts = 0;
    int cancelAtStatus = 0;  // 0: never
};

std::string Running(bool running, float progress, const char* status)
{
    return wire::Bytes().U8(running ? 1 : 0).F32(progress).Text(status).Str();
}

std::vector<uint32_t> Numbers(const ScriptedDaemon& daemon)
{
    std::vector<uint32_t> out;
    for (const auto& r : daemon.Requests())
        out.push_back(r.number);
    return out;
}

class RepairTest : public ::testing::Test {
protected:
    RepairTest() { KADTaskRepairDatabase::SetWaitFunctionForTest(&RecordWait); }
    ~RepairTest() override { KADTaskRepairDatabase::SetWaitFunctionForTest(nullptr); }
};

TEST_F(RepairTest, PollsEveryQuarterSecondAfterAFirstSecondUntilTheDaemonSaysDone)
{
    using Answer = std::optional<std::string>;
    struct Case {
        const char* name;
        uint32_t mode;
        bool withTarget;  // a report target of its own, else the task
        bool startAnswered;
        std::vector<Answer> polls;
        int cancelAtStatus;
        std::vector<uint32_t> requests;
        std::vector<uint32_t> waits;
        std::vector<std::string> events;
        bool lost;  // the daemon was not reached to the end: said as an error
    };
    const std::string a = Running(true, 0.25f, "a"), b = Running(true, 0.5f, "b"), done = Running(false, 1.0f, "");
    const std::vector<std::string> heardA = {"status a", "progress 0.250000"};
    const Case cases[] = {
        {"done at the first poll", 100, false, true, {done}, 0, {3, 4}, {1000}, {}, false},
        {"two polls at work, then done", 150, true, true, {a, b, done}, 0, {3, 4, 4, 4}, {1000, 250, 250},
         {"status a", "progress 0.250000", "status b", "progress 0.500000"}, false},
        // The link is lost: the poll fails, and nothing is asked again.
        {"a failed poll ends it", 50, false, true, {a, std::nullopt, b}, 0, {3, 4, 4}, {1000, 250}, heardA, true},
        {"a failed poll into a target of its own", 50, true, true, {std::nullopt}, 0, {3, 4}, {1000}, {}, true},
        {"a repair never started is not polled", 100, false, false, {b}, 0, {3}, {}, {}, true},
        {"cancelled while at work", 100, true, true, {a, b}, 1, {3, 4}, {1000, 250}, heardA, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_waits.clear();
        size_t poll = 0;
        ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> Answer {
            if (number == 3)
                return c.startAnswered ? Answer(std::string()) : std::nullopt;
            return poll < c.polls.size() ? c.polls[poll++] : Answer(done);
        });
        RecordingTask task;
        task.cancelAtStatus = c.cancelAtStatus;
        ResultsLog target;
        KADTaskRepairDatabase repair(c.mode, c.withTarget ? &target : nullptr);
        EXPECT_EQ(repair.RunInline(task),
                  c.lost ? KADTaskRepairDatabase::kRunLinkLost : KADTaskRepairDatabase::kRunEnded);
        EXPECT_EQ(Numbers(daemon), c.requests);
        // The loss is the repair's one result, where its results go.
        const ResultsLog& reports = c.withTarget ? target : task;
        EXPECT_EQ(reports.GetErrorCount(), c.lost ? 1u : 0u);
        if (c.lost) {
            ASSERT_EQ(reports.GetResultCount(), 1u);
            EXPECT_STREQ((*reports.Results().begin())->text.c_str(), LinkWatch::kLostText);
        }
        EXPECT_EQ((c.withTarget ? task : target).GetResultCount(), 0u);
        // The daemon's results for the repair go to the target, which stays
        // registered for those that come after the start's reply.
        const ScriptedDaemon::Request& start = daemon.Requests().at(0);
        EXPECT_EQ(start.payload, wire::Bytes().U32(c.mode).Str());
        EXPECT_EQ(start.log, c.withTarget ? &target : static_cast<ResultsLog*>(&task));
        EXPECT_TRUE(start.keepLog);
        EXPECT_EQ(g_waits, c.waits);
        EXPECT_EQ(task.events, c.events);
        EXPECT_FALSE(KADTaskRepairDatabase::IsRunning());
        EXPECT_EQ(repair.WorkingThreadId(), 0u);
    }
}

TEST_F(RepairTest, ASecondRepairWhileOneRunsOnlySaysSo)
{
    RecordingTask second;
    std::vector<uint32_t> duringFirst;
    bool runningDuringFirst = false;
    ScriptedDaemon daemon;
    daemon.SetScript([&](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 4 && second.events.empty()) {
            runningDuringFirst = KADTaskRepairDatabase::IsRunning();
            size_t before = daemon.Requests().size();
            KADTaskRepairDatabase again(150, nullptr);
            again.RunInline(second);
            for (size_t i = before; i < daemon.Requests().size(); ++i)
                duringFirst.push_back(daemon.Requests()[i].number);
        }
        return Running(false, 1.0f, "");
    });
    KADTask first;
    KADTaskRepairDatabase repair(100, nullptr);
    repair.RunInline(first);

    EXPECT_TRUE(runningDuringFirst);
    EXPECT_TRUE(duringFirst.empty()) << "the second repair sent requests";
    const std::string text = GetInterfaceText(Nyx::String("$kadtask_repair_err_duplicate")).Str();
    EXPECT_EQ(second.events, std::vector<std::string>{"status " + text});
    EXPECT_EQ(second.GetResultCount(), 0u);
    // The first one ended as usual and let go of the flag.
    EXPECT_EQ(Numbers(daemon), (std::vector<uint32_t>{3, 4}));
    EXPECT_FALSE(KADTaskRepairDatabase::IsRunning());
}

}  // namespace
