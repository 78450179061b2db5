// Each script of scripts/ run the way the harness's run mode runs it, its
// script log compared line by line with its "// expect log: " lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "scriptapi-harness/HarnessRun.h"
#include "support/ScriptApiMachine.h"
#include "support/ScriptExpectations.h"
#include "support/ScriptedSearch.h"

using namespace scriptapitest;

namespace {

// The daemon's search answers with (1, i, 0) for i from 0 to 128, then
// (1, 0, 1): a list past one block of 128, and a KUID differing from
// another only in its version.
std::vector<KUID> SearchAnswer()
{
    std::vector<KUID> kuids;
    for (int32_t i = 0; i <= 128; ++i)
        kuids.push_back(KUID(1, i, 0));
    kuids.push_back(KUID(1, 0, 1));
    return kuids;
}

HarnessRun::Outcome RunCase(const std::string& file)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    std::vector<std::string> compile;
    HarnessRun::Outcome outcome =
        HarnessRun::Run(shared.machine, file, ScriptFolders(), shared.folder,
                        [&compile](const std::string& line) { compile.push_back(line); });
    if (!outcome.compiled && !compile.empty())
        outcome.reason = compile.front();
    return outcome;
}

class ScriptCasesTest : public testing::TestWithParam<const char*> {};

TEST_P(ScriptCasesTest, LogMatchesExpectations)
{
    ASSERT_TRUE(ScriptApiMachine::Get().ready);
    const std::string file = CaseScripts() + GetParam();
    ScriptedSearch daemon;
    ScriptedSearch::answer = SearchAnswer();
    LogCapture log;
    const HarnessRun::Outcome outcome = RunCase(file);
    ASSERT_TRUE(outcome.compiled) << outcome.reason;
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    const std::vector<std::string> got = NativeLines(log.lines);
    const std::vector<std::string> expected = ExpectedLog(file);
    for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        ASSERT_LT(i, got.size()) << "missing: " << expected[i];
        ASSERT_LT(i, expected.size()) << "unexpected: " << got[i];
        EXPECT_EQ(expected[i], got[i]) << "line " << i;
    }
}

// SearchAssets(text, false) asks for listing privilege, not obsolete and
// the upper-cased category alone; with true, for local, locally available
// and enabled assets first.
TEST(ScriptContextSearchTest, FilterGroupsAsSent)
{
    ASSERT_TRUE(ScriptApiMachine::Get().ready);
    ScriptedSearch daemon;
    ScriptedSearch::answer = SearchAnswer();
    LogCapture log;
    ASSERT_TRUE(RunCase(CaseScripts() + "context_cases.gs").ok);
    ASSERT_EQ(2u, ScriptedSearch::filters.size());
    const std::vector<std::string> expected[] = {
        {"listing-privilege"},
        {"local", "locally-available", "locally-enabled", "listing-privilege"},
    };
    for (size_t i = 0; i < 2; ++i) {
        auto* group = dynamic_cast<const KADFilterElementGroup*>(ScriptedSearch::filters[i].get());
        ASSERT_NE(nullptr, group);
        const uint32_t n = group->GetChildCount();
        ASSERT_EQ(expected[i].size() + 2, n);
        for (size_t c = 0; c < expected[i].size(); ++c)
            EXPECT_EQ(expected[i][c], std::string(group->GetChild(uint32_t(c))->GetFieldName().View()));
        const auto* negated = dynamic_cast<const KADFilterElementGroup*>(group->GetChild(n - 2));
        ASSERT_NE(nullptr, negated);
        EXPECT_EQ(1, negated->GetNegated());
        ASSERT_EQ(1u, negated->GetChildCount());
        EXPECT_EQ("obsolete", std::string(negated->GetChild(0)->GetFieldName().View()));
        EXPECT_EQ("category-list", std::string(group->GetChild(n - 1)->GetFieldName().View()));
        EXPECT_EQ("ABC;D", std::string(group->GetChild(n - 1)->GetValueText().View()));
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptCasesTest,
                         testing::Values("soup_cases.gs", "kuidlist_cases.gs", "kuid_cases.gs", "htmlbuffer_cases.gs",
                                         "linkedlist_cases.gs", "context_cases.gs"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

}  // namespace
