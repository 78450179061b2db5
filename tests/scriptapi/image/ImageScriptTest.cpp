// The Image natives as scripts use them, read back through the test-only
// Probe class: each script's log compared with its "// expect log: " lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "scriptapi-harness/HarnessRun.h"
#include "scriptapi-harness/ProbeNatives.h"
#include "scriptapi/support/ScriptApiMachine.h"
#include "scriptapi/support/ScriptExpectations.h"
#include "scriptapi/support/ScriptedSearch.h"

using namespace scriptapitest;

namespace {

class ImageScriptTest : public testing::TestWithParam<const char*> {};

TEST_P(ImageScriptTest, LogMatchesExpectations)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    RegisterProbeNatives(shared.machine);
    const std::string file = CaseScripts() + GetParam();
    ScriptedSearch daemon;
    LogCapture log;
    std::vector<std::string> compile;
    const HarnessRun::Outcome outcome = HarnessRun::Run(shared.machine, file, ScriptFolders(), shared.folder,
                                                        [&compile](const std::string& line) { compile.push_back(line); });
    ASSERT_TRUE(outcome.compiled) << (compile.empty() ? outcome.reason : compile.front());
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    const std::vector<std::string> got = NativeLines(log.lines);
    const std::vector<std::string> expected = ExpectedLog(file);
    for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        ASSERT_LT(i, got.size()) << "missing: " << expected[i];
        ASSERT_LT(i, expected.size()) << "unexpected: " << got[i];
        EXPECT_EQ(expected[i], got[i]) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ImageScriptTest, testing::Values("image_cases.gs"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

}  // namespace
