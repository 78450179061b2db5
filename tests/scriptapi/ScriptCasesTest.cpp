// Each script of scripts/ run the way the harness's run mode runs it, its
// script log compared line by line with its "// expect log: " lines. The
// interpreter's own report of an ended thread (its exception line and the
// stack dump) and the router's goodbye are left out: the natives' texts are what the scripts test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "scriptapi-harness/HarnessRun.h"
#include "support/ScriptApiMachine.h"

using namespace scriptapitest;

namespace {

std::vector<std::string> Expected(const std::string& file)
{
    static const std::string prefix = "// expect log: ";
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(prefix);
        if (at != std::string::npos)
            lines.push_back(line.substr(at + prefix.size()));
    }
    return lines;
}

bool InterpreterReport(const std::string& line)
{
    return line.rfind("Thread Exception:", 0) == 0 || line.rfind("Stack Dump", 0) == 0 ||
           line.rfind("function ", 0) == 0 || line.rfind("GSRouter::", 0) == 0;
}

class ScriptCasesTest : public testing::TestWithParam<const char*> {};

TEST_P(ScriptCasesTest, LogMatchesExpectations)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    const std::string file = CaseScripts() + GetParam();
    std::vector<std::string> compile;
    LogCapture log;
    const HarnessRun::Outcome outcome =
        HarnessRun::Run(shared.machine, file, {SystemScripts(), SourceRoot() + "/data/scripts/"}, shared.folder,
                        [&compile](const std::string& line) { compile.push_back(line); });
    ASSERT_TRUE(outcome.compiled) << (compile.empty() ? "" : compile.front());
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    std::vector<std::string> got;
    for (const std::string& line : log.lines)
        if (!InterpreterReport(line))
            got.push_back(line);
    const std::vector<std::string> expected = Expected(file);
    for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        ASSERT_LT(i, got.size()) << "missing: " << expected[i];
        ASSERT_LT(i, expected.size()) << "unexpected: " << got[i];
        EXPECT_EQ(expected[i], got[i]) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptCasesTest,
                         testing::Values("soup_cases.gs", "kuidlist_cases.gs", "kuid_cases.gs", "htmlbuffer_cases.gs",
                                         "linkedlist_cases.gs", "context_cases.gs"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

}  // namespace
