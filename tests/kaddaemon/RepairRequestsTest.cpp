// The stand-in's repair (requests 3 and 4) asked through the tool's own
// client and repair task, against the stand-in served in this process.
#include "kaddaemon/RepairRequests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/results/ResultsLog.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"
#include "kad/tasks/KADTask.h"
#include "kad/tasks/KADTaskRepairDatabase.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/StoreRequests.h"

namespace {

namespace fs = std::filesystem;
using namespace clienttest;
namespace testrequest = kaddaemon::testrequest;

const KUID kBlue(77, 500, 0);
const KUID kLate(77, 501, 0);
const KUID kDraft(77, 502, 0);

void WriteFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Config(const KUID& kuid) { return "kuid " + std::string(kuid.ToString().c_str()) + "\nkind \"track\"\n"; }

std::vector<std::string> Errors(const ResultsLog& log)
{
    std::vector<std::string> texts;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        if (r->severity == ResultsLog::kError)
            texts.emplace_back(r->text.View());
    log.Unlock();
    return texts;
}

// Paces the polls; the tests that need the real waits put them back.
void ShortWait(uint32_t) { Nyx::Thread::Sleep(5); }

class RepairRequestsTest : public StandInStoreClient {
protected:
    RepairRequestsTest()
    {
        WriteFile(root_ + "/local/blue/config.txt", Config(kBlue));
        OpenStore();
        kaddaemon::RegisterRepairRequests(server_.Requests(), store_, true);
        KADTaskRepairDatabase::SetWaitFunctionForTest(&ShortWait);
    }
    ~RepairRequestsTest() override { KADTaskRepairDatabase::SetWaitFunctionForTest(nullptr); }

    static bool Known(const KUID& kuid)
    {
        AssetRecord record;
        return KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll);
    }
};

TEST_F(RepairRequestsTest, ARepairRebuildsTheIndexAndReportsEachFolderThatHoldsNoAsset)
{
    // Changed behind the daemon's back since it read the root.
    fs::remove_all(root_ + "/local/blue");
    WriteFile(root_ + "/local/late/config.txt", Config(kLate));
    WriteFile(root_ + "/editing/draft/config.txt", Config(kDraft));
    WriteFile(root_ + "/local/broken/config.chump", "not a binary config");
    WriteFile(root_ + "/local/empty/readme.txt", "no config here");
    WriteFile(root_ + "/local/nameless/config.txt", "kind \"track\"\n");
    WriteFile(root_ + "/editing/" + std::string(kaddaemon::AssetStore::kUnfinishedPrefix) + "x/config.txt",
              Config(kBlue));
    ASSERT_TRUE(Known(kBlue));
    ASSERT_FALSE(Known(kLate));

    KADTask task;
    KADTaskRepairDatabase repair(150, nullptr);
    repair.RunInline(task);

    EXPECT_EQ(Errors(task), (std::vector<std::string>{"The config of local/broken does not load.",
                                                      "The asset folder local/empty has no config.",
                                                      "The config of local/nameless names no KUID."}));
    EXPECT_FALSE(Known(kBlue));
    EXPECT_TRUE(Known(kLate));
    EXPECT_TRUE(Known(kDraft));
    EXPECT_FALSE(fs::exists(root_ + "/editing/" + std::string(kaddaemon::AssetStore::kUnfinishedPrefix) + "x"));
    // The mode went with the start and is in the trace.
    EXPECT_EQ(CountLines(TracePath(), "do repair 150 " + std::to_string(LastRequestId(TracePath(), 3)) + " 0"),
              1u);
    EXPECT_EQ(CountLines(TracePath(), "in request 3 "), 1u);

    // Once done, every poll says so, with the whole progress and a text.
    float progress = -1.0f;
    Nyx::String status;
    EXPECT_FALSE(KADRequests::PollRepair(progress, status));
    EXPECT_EQ(progress, 1.0f);
    EXPECT_EQ(status, "The asset database is repaired.");
}

TEST_F(RepairRequestsTest, ARepairEndsWhenItsDaemonConnectionIsLostThoughTheDaemonStillSaysAtWork)
{
    // The daemon answers "at work" for good, and drops the connection after
    // the first poll; a new connection would be answered "at work" too.
    KADTaskRepairDatabase::SetWaitFunctionForTest(nullptr);
    ASSERT_TRUE(Call(testrequest::kRepairHoldRunning, U32(20)));
    ASSERT_TRUE(Call(testrequest::kRepairDropAfterPoll, ""));

    KADTask task;
    KADTaskRepairDatabase repair(100, nullptr);
    repair.RunInline(task);

    // The first poll, and at most one more that went out on a new
    // connection before the loss was seen.
    size_t polls = CountLines(TracePath(), "in request 4 ");
    EXPECT_GE(polls, 1u);
    EXPECT_LE(polls, 2u);
    EXPECT_FALSE(KADTaskRepairDatabase::IsRunning());
}

}  // namespace
