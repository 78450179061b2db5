#include "config/results/InterfaceTextDB.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "config/InterfaceTextTestSupport.h"
#include "config/tree/TDBContainerTag.h"
#include "core/threads/AppLock.h"
#include "core/ConcurrencyTestSupport.h"

namespace {

using Tag = TDBContainerTag;

const char* const kSource =
    "$hello                                  \"Hello there\"\r\n"
    "$count                                  5\r\n"
    "$both                                   \"root text\"\r\n"
    "marvu_map_text\r\n"
    "{\r\n"
    "  $map_only                             \"map\"\r\n"
    "}\r\n"
    "marvu_spec_text\r\n"
    "{\r\n"
    "  $spec_only                            \"spec\"\r\n"
    "}\r\n"
    "scenario_text\r\n"
    "{\r\n"
    "  $sc_intro                             \"Scenario intro\"\r\n"
    "  $both                                 \"scenario text\"\r\n"
    "}\r\n";

std::string Text(const Nyx::PString& s) { return s.Str(); }

using InterfaceTextDBTest = InterfaceTextFixture;

TEST_F(InterfaceTextDBTest, TextSourceIsUsedWhenThereIsNoCompiledFile)
{
    WriteText(kSource);
    EXPECT_FALSE(InterfaceTextDB::IsLoaded());
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    EXPECT_TRUE(InterfaceTextDB::IsLoaded());
    EXPECT_EQ(LogLines(), std::vector<std::string>{kFailedCompiledLine});

    EXPECT_EQ(Text(db.GetString("$hello", true)), "Hello there");
    EXPECT_EQ(Text(db.GetString("$count", true)), "5");
    EXPECT_EQ(GetInterfaceText("$hello").Str(), "Hello there");

    // Each table answers only for its own keys.
    EXPECT_EQ(Text(db.GetString("$both", true)), "root text");
    EXPECT_EQ(Text(db.GetScenarioString("$both")), "scenario text");
    EXPECT_EQ(Text(db.GetScenarioString("$sc_intro")), "Scenario intro");
    EXPECT_EQ(Text(db.GetScenarioString("$hello")), "");
    EXPECT_EQ(Text(db.GetString("$sc_intro", false)), "");
    EXPECT_EQ(Text(db.GetString("$map_only", false)), "");
    EXPECT_EQ(Text(db.GetString("$spec_only", false)), "");
    EXPECT_EQ(Text(db.GetScenarioString("")), "");
}

TEST_F(InterfaceTextDBTest, CompiledFileIsPreferredToItsSource)
{
    WriteText(kSource);
    ChunkRef root, scenario;
    Tag::SetString(root, "$hello", "compiled hello");
    Tag::SetString(scenario, "$sc_intro", "compiled intro");
    Tag::SetChildContainer(root, "scenario_text", scenario);
    WriteChump(root);

    InterfaceTextDB& db = InterfaceTextDB::Instance();
    EXPECT_EQ(Text(db.GetString("$hello", true)), "compiled hello");
    EXPECT_EQ(Text(db.GetScenarioString("$sc_intro")), "compiled intro");
    EXPECT_EQ(Text(db.GetString("$count", false)), "");
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(InterfaceTextDBTest, UnreadableCompiledFileFallsBackToItsSource)
{
    WriteText(kSource);
    WriteRawChump("ACS$ but nothing a tree is made of");

    EXPECT_EQ(GetInterfaceText("$hello").Str(), "Hello there");
    EXPECT_EQ(LogLines(), std::vector<std::string>{kFailedCompiledLine});
}

TEST_F(InterfaceTextDBTest, MissingFilesLeaveAnEmptyTableThatAnswersWithKeys)
{
    EXPECT_EQ(GetInterfaceText("$kad_unreadable_cdp").Str(), "$kad_unreadable_cdp");
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    EXPECT_EQ(Text(db.GetScenarioString("$sc_intro")), "");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              kFailedCompiledLine,
                              "InterfaceTextDB> Unable to read interface file 'interfacetext.chump'",
                              "InterfaceTextDB::GetString> Tag '$kad_unreadable_cdp' not found in 'interfacetext.chump'",
                          }));
}

TEST_F(InterfaceTextDBTest, SubTableNamesOnlyCountWhenTheyAreContainers)
{
    WriteText("$hello \"hi\"\r\nscenario_text \"not a table\"\r\n");
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    EXPECT_EQ(Text(db.GetScenarioString("scenario_text")), "");
    EXPECT_EQ(Text(db.GetString("scenario_text", false)), "not a table");
    EXPECT_EQ(Text(db.GetScenarioString("$hello")), "");
}

TEST_F(InterfaceTextDBTest, ReportFlagDecidesWhatAMissGives)
{
    WriteText(kSource);
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    struct Case {
        const char* key;
        bool report;
        const char* expected;
    } cases[] = {
        {"$hello", true, "Hello there"},
        {"$hello", false, "Hello there"},
        {"$absent", true, "$absent"},
        {"$absent", false, ""},
        {"", true, ""},
        {"", false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(db.GetString(c.key, c.report)), c.expected) << c.key << " report " << c.report;
    // Only the reported miss is logged (after the fallback's own line).
    EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(InterfaceTextDBTest, OnlyTheFirstTenReportedMissesAreLogged)
{
    WriteText(kSource);
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    // Unreported misses do not use up the allowance.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Text(db.GetString("$quiet", false)), "");

    std::vector<std::string> expected{kFailedCompiledLine};
    for (int i = 1; i <= 12; ++i) {
        std::string key = "$missing_" + std::to_string(i);
        EXPECT_EQ(Text(db.GetString(key, true)), key);
        if (i <= 10)
            expected.push_back("InterfaceTextDB::GetString> Tag '" + key + "' not found in 'interfacetext.chump'");
    }
    EXPECT_EQ(GetInterfaceText("$later").Str(), "$later");
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(InterfaceTextDBTest, LoadsOnceUnlessAskedToReload)
{
    WriteText("$hello \"first\"\r\n");
    EXPECT_EQ(GetInterfaceText("$hello").Str(), "first");

    WriteText("$hello \"second\"\r\n");
    EXPECT_EQ(GetInterfaceText("$hello").Str(), "first");
    InterfaceTextDB::Instance().Load();
    EXPECT_EQ(GetInterfaceText("$hello").Str(), "second");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kFailedCompiledLine, kFailedCompiledLine}));
}

TEST_F(InterfaceTextDBTest, LookupKeyFallsBackToTheKeyForAbsentOrEmptyTexts)
{
    ChunkRef table;
    Tag::SetString(table, "$text", "some text");
    Tag::SetString(table, "$empty", "");
    Tag::SetNone(table, "$none");
    Tag::SetInt(table, "$number", 42);
    struct Case {
        const char* key;
        const char* expected;
    } cases[] = {
        {"$text", "some text"}, {"$empty", "$empty"}, {"$none", "$none"},
        {"$number", "42"},      {"$absent", "$absent"}, {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(InterfaceTextDB::LookupKey(c.key, table)), c.expected) << c.key;
        EXPECT_EQ(Text(InterfaceTextDB::LookupKey(c.key, ChunkRef())), c.key) << c.key;
    }
}

TEST_F(InterfaceTextDBTest, EmptyKeyIsAnsweredWithoutWaitingForTheLock)
{
    WriteText(kSource);
    InterfaceTextDB& db = InterfaceTextDB::Instance();
    concurrencytest::TaskThread holder;
    ASSERT_TRUE(holder.Run([] { return AcquireAppLock(true); }));

    auto lookup = std::async(std::launch::async, [&db] {
        return Text(db.GetString("", true)) + "|" + Text(db.GetScenarioString("")) + "|" +
               Text(InterfaceTextDB::LookupKey("", ChunkRef()));
    });
    bool answered = lookup.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    holder.Run([] { return ReleaseAppLock(); });
    EXPECT_TRUE(answered);
    EXPECT_EQ(lookup.get(), "||");
}

}  // namespace
