#include "cli/RunCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/HelpText.h"
#include "config/results/InterfaceTextDB.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "gs/compiler/ScriptFileStore.h"
#include "nyx/files/File.h"
#include "nyx/base/Log.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

struct Outcome {
    int code;
    std::string out;
    std::string printed;  // PrintResults of the command's log
};

Outcome Dispatch(std::vector<std::string> words)
{
    childprocess::CommandLine command("KestroUtil", words);
    EngineContext context;
    ResultsLog log;
    Outcome outcome;
    testing::internal::CaptureStdout();
    outcome.code = RunCommand(log, context, command.Argc(), command.Argv());
    outcome.out = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    PrintResults(log);
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

std::string OneError(const std::string& text) { return "- <NULL> : " + text + "\nOK (1 Errors, 0 Warnings)\n"; }

TEST(RunCommandTest, VersionWordsAnswerThroughOutputAndExitCode)
{
    struct Case {
        std::vector<std::string> words;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {{"version"}, 0, "Build 41615\n"},
        {{"VERSION"}, 0, "Build 41615\n"},
        {{"installedversionlo"}, 64, ""},
        {{"InstalledVersionHi"}, 1, ""},
        {{"installedbuildnumberlo"}, 143, ""},
        {{"installedbuildnumberhi"}, 162, ""},
        {{"installedversion"}, 320, ""},
        {{"installedbuildnumber"}, 41615, ""},
        {{"echo", "a", "b"}, 0, "a b \n"},
        {{"echo"}, 0, "\n"},
        {{"ECHO", "Mixed Case", "-nokadclient", "norender"}, 0, "Mixed Case -nokadclient norender \n"},
        // Without a daemon connection there is nothing to close: no wait.
        {{"closekaddaemon"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        Outcome o = Dispatch(c.words);
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.printed, kClean);
    }
}

TEST(RunCommandTest, WordsNotInTheTableFail)
{
    const std::string invalid = "Invalid argument, please check the help for the list of valid argument\n";
    for (const char* word : {"norender", "help", "", "versions", "installedversionl"}) {
        SCOPED_TRACE(word);
        Outcome o = Dispatch({word});
        EXPECT_EQ(o.code, -1);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.printed, OneError(invalid));
    }
    // No command word at all, as a batch line can give.
    EngineContext context;
    ResultsLog log;
    char program[] = "KestroUtil";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(RunCommand(log, context, 1, argv), -1);
    EXPECT_EQ(log.GetErrorCount(), 1u);
}

TEST(RunCommandTest, ParameterErrorsComeBeforeAnyWork)
{
    struct Case {
        std::vector<std::string> words;
        const char* error;
    };
    const Case cases[] = {
        {{"installcdp"}, "Missing input filepath parameter."},
        {{"installfrompath"}, "Missing input path parameter."},
        {{"installfrompath", "/no/such/Folder"}, "Invalid input path."},
        {{"importconsists"}, "Missing input path parameter."},
        {{"edit"}, "Missing AssetID parameter."},
        {{"printconfig", ""}, "Missing AssetID parameter."},
        {{"compile"}, "Invalid file path."},
        {{"encrypt"}, "Invalid file path."},
        {{"listbuilds"}, "Missing path parameter."},
        {{"commit"}, "Missing AssetID parameter."},
        {{"revert"}, "Missing AssetID parameter."},
        {{"delete"}, "Missing AssetID parameter."},
        {{"compresstexture"}, "Missing AssetID parameter."},
        {{"searchbycategory", "-a"}, "Missing category parameter."},
        {{"searchbycategory", "-A", ""}, "Missing category parameter."},
        {{"status"}, "Missing AssetID parameter."},
        {{"validate"}, "Missing AssetID parameter."},
        {{"createcdp"}, "Missing output path parameter."},
        {{"vrqparse"}, "Missing CDP filepath."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0] + (c.words.size() > 1 ? " " + c.words[1] : ""));
        Outcome o = Dispatch(c.words);
        EXPECT_EQ(o.code, -1);
        EXPECT_EQ(o.printed, OneError(c.error));
    }
}

TEST(RunCommandTest, CompileReportsThroughTheCompilerAndTextureConversionFails)
{
    // The compiler prints its own messages; the command's log stays empty
    // and the exit code tells the failure.
    Outcome compile = Dispatch({"compile", "script.gs"});
    EXPECT_EQ(compile.code, -1);
    EXPECT_EQ(compile.out, "Could not read file  script.gs.\n");
    EXPECT_EQ(compile.printed, kClean);

    TempFolder dir;
    dir.Write("Good.gs", "class Good {};\n");
    Outcome good = Dispatch({"compile", dir / "Good.gs"});
    EXPECT_EQ(good.code, 0);
    EXPECT_EQ(good.out, "");
    EXPECT_TRUE(dir.Has("Good.gsl"));

    Outcome usage = Dispatch({"compile", "-s"});
    EXPECT_EQ(usage.code, -1);
    EXPECT_EQ(usage.out.rfind("MARVU GameScript Compiler V1.02\n", 0), 0u) << usage.out;

    Outcome texture = Dispatch({"compresstexture", "textures"});
    EXPECT_EQ(texture.code, -1);
    // A folder given without a root is taken in the working folder.
    EXPECT_EQ(texture.printed, OneError("Unable to search path: '" +
                                        (std::filesystem::current_path() / "textures").string() + "'"));
}

TEST(RunCommandTest, EncryptIsNoSuccessUnlessTheScrambledFileIsWritten)
{
    TempFolder dir;
    dir.Write("Script.gs", "include \"x.gs\"\nclass S { x };\n");
    Outcome o = Dispatch({"encrypt", dir / "Script.gs"});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.printed, "OK (0 Errors, 0 Warnings)\n");
    ScriptFileStore back;
    ASSERT_TRUE(back.Open(Nyx::PString(), Nyx::File::Path(dir / "Script.gse")));
    EXPECT_EQ(std::string(back.GetText(), back.GetLength()), "include \"x.gs\"\nclass S { x };\n");
    // The compiler reads the scrambled form back as the same text: the
    // include is looked for, and the syntax error is on line 2.
    dir.Write("x.gs", "class X {};\n");
    std::filesystem::remove(dir / "Script.gs");
    Outcome compiled = Dispatch({"compile", dir / "Script.gs"});
    EXPECT_EQ(compiled.code, -1);
    EXPECT_EQ(compiled.out, "script.gs(2) : parse error, line 2\n");

    // An empty script reads, but has no scrambled form to write.
    dir.Write("Empty.gs", "");
    Outcome empty = Dispatch({"encrypt", dir / "Empty.gs"});
    EXPECT_EQ(empty.code, -1);
    EXPECT_EQ(empty.printed, OneError("Invalid file path."));
    EXPECT_FALSE(dir.Has("Empty.gse"));

    for (const char* name : {"Script.txt", "missing.gs"}) {
        SCOPED_TRACE(name);
        Outcome bad = Dispatch({"encrypt", dir / name});
        EXPECT_EQ(bad.code, -1);
        EXPECT_EQ(bad.printed, OneError("Invalid file path."));
    }
}

TEST(PrintResultsTest, PrefixesCountsAndSummary)
{
    ResultsLog log;
    ResultsLog::AddResult(log, 1, Nyx::String("info"));
    ResultsLog::AddResult(log, 2, Nyx::String("warn"));
    PropertyRef asset(new KestroPropertyAssetID(Nyx::PString("AssetID"), KUID(12, 34, 5)));
    ResultsLog::AddResult(log, 3, asset, Nyx::String("bad asset"));
    ResultsLog::AddResult(log, 4, Nyx::String("output"));
    ResultsLog::AddResult(log, 5, Nyx::String("plain"));
    ResultsLog::AddResult(log, 2, Nyx::String("warn again"));
    ResultsLog::AddResult(log, 0, Nyx::String("zero"));
    EXPECT_FALSE(log.IsReported());

    testing::internal::CaptureStdout();
    PrintResults(log);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "; <NULL> : info\n"
              "! <NULL> : warn\n"
              "- <kuid2:12:34:5> : bad asset\n"
              "+ <NULL> : output\n"
              "<NULL> : plain\n"
              "! <NULL> : warn again\n"
              "<NULL> : zero\n"
              "OK (1 Errors, 2 Warnings)\n");
    EXPECT_TRUE(log.IsReported());

    ResultsLog empty;
    testing::internal::CaptureStdout();
    PrintResults(empty);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kClean);
}

TEST(PrintResultsTest, KeysStoredAsTextPrintAsTheirInterfaceText)
{
    TempFolder folder;
    folder.Write("data/interfacetext.txt", "$cli_greeting \"Hello from the table\"\r\n");
    InterfaceTextDB::UnloadForTest();
    Nyx::File::Subst::Add("data", Nyx::File::Path(folder / "data"));
    // The table logs the missing key; not into the captured output.
    Nyx::Log::Init("");

    ResultsLog log;
    ResultsLog::AddResult(log, 1, Nyx::String("$cli_greeting"));
    ResultsLog::AddResult(log, 2, Nyx::String("$cli_no_such_key"));
    ResultsLog::AddResult(log, 3, Nyx::String("costs $5"));
    testing::internal::CaptureStdout();
    PrintResults(log);
    std::string printed = testing::internal::GetCapturedStdout();

    Nyx::File::Subst::Remove("data");
    InterfaceTextDB::UnloadForTest();
    EXPECT_EQ(printed,
              "; <NULL> : Hello from the table\n"
              "! <NULL> : $cli_no_such_key\n"
              "- <NULL> : costs $5\n"
              "OK (1 Errors, 1 Warnings)\n");
}

TEST(HelpTextTest, MatchesTheGoldenFileByteForByte)
{
    std::ifstream in(std::string(KESTRO_TEST_DATA_DIR) + "/cli/help.txt", std::ios::binary);
    ASSERT_TRUE(in);
    std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::string(HelpText()), golden);
    EXPECT_EQ(std::count(golden.begin(), golden.end(), '\n'), 42);

    testing::internal::CaptureStdout();
    PrintHelpText();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), golden + "\n");
}

}  // namespace
