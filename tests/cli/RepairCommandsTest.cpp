#include "cli/RepairCommands.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandHandlers.h"
#include "cli/RunCommand.h"
#include "config/results/ResultsLog.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/tasks/KADTaskRepairDatabase.h"

namespace {

using wire::KUIDList;

void NoWait(uint32_t) {}

std::string PollDone() { return wire::Bytes().U8(0).F32(1.0f).Text("").Str(); }

class RepairCommandsTest : public ::testing::Test {
protected:
    RepairCommandsTest() { KADTaskRepairDatabase::SetWaitFunctionForTest(&NoWait); }
    ~RepairCommandsTest() override { KADTaskRepairDatabase::SetWaitFunctionForTest(nullptr); }
};

TEST_F(RepairCommandsTest, ErrorsTheDaemonReportsGive255AndALostDaemonGivesMinusOne)
{
    struct Reported {
        int32_t severity;
        const char* text;
    };
    struct Case {
        const char* name;
        std::vector<Reported> reported;  // into the log of the start, while polled
        uint32_t answered;               // requests answered before the link is lost
        int code;
        std::string printed;
    };
    const std::string lost = "- <NULL> : " + std::string(LinkWatch::kLostText) + "\n";
    const Case cases[] = {
        {"nothing reported", {}, 9, 0, "OK (0 Errors, 0 Warnings)\n"},
        {"one damaged folder", {{ResultsLog::kError, "Broken."}}, 9, 255,
         "- <NULL> : Broken.\nOK (1 Errors, 0 Warnings)\n"},
        {"a warning only", {{ResultsLog::kWarning, "Slow."}}, 9, 0, "! <NULL> : Slow.\nOK (0 Errors, 1 Warnings)\n"},
        {"no daemon", {}, 0, -1, lost + "OK (1 Errors, 0 Warnings)\n"},
        {"the link lost at the poll", {}, 1, -1, lost + "OK (1 Errors, 0 Warnings)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDaemon daemon;
        daemon.SetScript([&](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (daemon.Requests().size() > c.answered)
                return std::nullopt;
            if (number == 4) {
                // The daemon's results arrive for the start's transaction.
                ResultsLog* startLog = daemon.Requests()[0].log;
                for (const Reported& r : c.reported)
                    ResultsLog::AddResult(*startLog, r.severity, Nyx::String(r.text));
                return PollDone();
            }
            return std::string();
        });
        ResultsLog log;
        EXPECT_EQ(RunDatabaseRepair(log, 100), c.code);
        testing::internal::CaptureStdout();
        PrintResults(log);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}

TEST_F(RepairCommandsTest, VrqDeleteAllDeletesEveryLocalAssetInOrder)
{
    const std::vector<std::vector<KUID>> found = {{}, {KUID(77, 500, 0), KUID(-3, 12, 127), KUID(77, 400, 2)}};
    for (const auto& kuids : found) {
        SCOPED_TRACE(kuids.size());
        // Every delete but the second refused: each refused one is named,
        // and the others are still asked for.
        uint32_t deletes = 0;
        ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (number == 2)
                return KUIDList(kuids);
            return wire::Bytes().U8(++deletes == 2 ? 1 : 0).Str();
        });
        ResultsLog log;
        EXPECT_EQ(VrqDeleteAllCommand(log), kuids.empty() ? 0 : -1);
        testing::internal::CaptureStdout();
        PrintResults(log);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  kuids.empty() ? "OK (0 Errors, 0 Warnings)\n"
                                : "- <kuid:77:500> : Unable to delete asset.\n"
                                  "- <kuid2:77:400:2> : Unable to delete asset.\nOK (2 Errors, 0 Warnings)\n");
        ASSERT_EQ(daemon.Requests().size(), kuids.size() + 1);
        // One bool element "local", with no group around it.
        wire::Input filter(daemon.Requests()[0].payload);
        std::unique_ptr<KADFilterElement> sent = ReadFilterElement(filter.stream);
        auto* local = dynamic_cast<KADFilterElementBool*>(sent.get());
        ASSERT_NE(local, nullptr);
        EXPECT_EQ(local->GetFieldId(), uint32_t(KADFilterElementBool::kLocal));
        for (size_t i = 0; i < kuids.size(); ++i) {
            EXPECT_EQ(daemon.Requests()[i + 1].number, 36u);
            EXPECT_EQ(daemon.Requests()[i + 1].payload, wire::Bytes().Kuid(kuids[i]).U8(1).Str());
        }
    }
}

}  // namespace
