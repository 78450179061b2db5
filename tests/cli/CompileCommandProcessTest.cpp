// "compile" and "encrypt" as the built program runs them, from a folder
// other than the program's.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <random>

#include "cli/ToolProcess.h"
#include "support/CompilerUsage.h"

namespace {

const std::string kOk = "OK (0 Errors, 0 Warnings)\n";

class CompileProcessTest : public ToolProcessTest {
protected:
    std::string Elsewhere() const { return root_ / "elsewhere"; }
    void Write(const std::string& name, const std::string& text) const { root_.Write("elsewhere/" + name, text); }

    // Runs the program as Run does, with files limited to `maxFileSize`
    // bytes: a longer write fails instead of raising a signal.
    ProcessResult RunLimited(const std::vector<std::string>& args, rlim_t maxFileSize)
    {
        return RunTool(root_.Path(), output_.Path(), args, [maxFileSize]() {
            rlimit limit{maxFileSize, maxFileSize};
            return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        });
    }
};

}  // namespace

TEST_F(CompileProcessTest, MessagesComeFromTheCompilerAndTheExitCodeTellsTheFailure)
{
    Write("bad.gs", "class A {\n  int x\n};\n");
    Write("uses.gs", "include \"missing.gs\"\nclass A {};\n");
    Write("good.gs", "class A {};\n");
    Write("wrong.gs", "class A {\n  int f() { return \"a\" - 1; }\n};\n");
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int exitCode;
    };
    const Case cases[] = {
        {{"compile", "-s"}, CompilerUsage("KestroUtil") + kOk, 255},
        {{"compile", "bad.gs"}, "bad.gs(3) : parse error, line 3\n" + kOk, 255},
        {{"compile", "uses.gs"}, "Could not read file  missing.gs.\n" + kOk, 255},
        {{"compile", "good.gs"}, kOk, 0},
        {{"compile", "wrong.gs"},
         "wrong.gs(2) : illegal types for operand -, line 2\n"
         "wrong.gs(2) : return type mismatch, expecting int, line 2.\n" + kOk, 255},
        {{"compile", "-s", "-bbuild.log", "bad.gs"}, kOk, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_TRUE(root_.Has("elsewhere/good.gsl"));
    EXPECT_FALSE(root_.Has("elsewhere/bad.gsl"));
    EXPECT_EQ(root_.ReadAll("elsewhere/build.log"), "bad.gs(3) : parse error, line 3\n");

    ProcessResult missing = Run({"compile"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, "- <NULL> : Invalid file path.\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(CompileProcessTest, AnEncryptedScriptCompilesAsItsText)
{
    Write("Script.gs", "include \"lib.gs\"\nclass Script {\n  int x = 1;\n};\n");
    Write("lib.gs", "class Lib {};\n");
    ProcessResult encrypt = Run({"encrypt", "Script.gs"});
    EXPECT_EQ(encrypt.exitCode, 0);
    EXPECT_EQ(encrypt.out, kOk);
    ASSERT_TRUE(root_.Has("elsewhere/Script.gse"));
    EXPECT_EQ(root_.ReadAll("elsewhere/Script.gse").find("class Script"), std::string::npos);
    std::filesystem::remove(Elsewhere() + "/Script.gs");

    for (const char* name : {"Script.gs", "Script.gse", "script.GSE"}) {
        SCOPED_TRACE(name);
        ProcessResult r = Run({"compile", name});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kOk);
    }
    EXPECT_TRUE(root_.Has("elsewhere/Script.gsl"));
    EXPECT_TRUE(root_.Has("elsewhere/script.gsl"));
    // A broken copy of the scrambled form fails with one error and no message.
    std::string scrambled = root_.ReadAll("elsewhere/Script.gse");
    scrambled.resize(scrambled.size() - 4);
    Write("Cut.gse", scrambled);
    ProcessResult cut = Run({"compile", "Cut.gs"});
    EXPECT_EQ(cut.exitCode, 255);
    EXPECT_EQ(cut.out, "Could not read file  cut.gs.\n" + kOk);
}

TEST_F(CompileProcessTest, AFailedEncryptKeepsTheOldScrambledFile)
{
    Write("Script.gs", "class Old {};\n");
    ASSERT_EQ(Run({"encrypt", "Script.gs"}).exitCode, 0);
    const std::string old = root_.ReadAll("elsewhere/Script.gse");
    ASSERT_FALSE(old.empty());

    // A text that does not pack small, and a file-size limit below it.
    std::mt19937 random(7);
    std::string text = "class New {};\n//";
    while (text.size() < 300000)
        text += static_cast<char>('a' + random() % 26);
    Write("Script.gs", text);
    ProcessResult failed = RunLimited({"encrypt", "Script.gs"}, 64 * 1024);
    EXPECT_EQ(failed.exitCode, 255);
    EXPECT_EQ(failed.out, "- <NULL> : Invalid file path.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(root_.ReadAll("elsewhere/Script.gse"), old);
    for (const auto& entry : std::filesystem::directory_iterator(Elsewhere()))
        EXPECT_EQ(entry.path().filename().string().find(".saving"), std::string::npos) << entry.path();
}

namespace {

// The 64-bit id a library file's header holds.
std::string IdOf(const std::string& image) { return image.size() >= 20 ? image.substr(12, 8) : ""; }

}  // namespace

TEST_F(CompileProcessTest, TheLibraryGoesBesideTheSourceOrIntoTheOutputFolder)
{
    Write("Script.gs", "class Script {\n  int x = 1;\n  int Get() { return x; }\n};\n");
    root_.MakeFolder("out1");
    root_.MakeFolder("out2");
    struct Case {
        std::vector<std::string> args;
        std::string library;
    };
    const Case cases[] = {
        {{"compile", "Script.gs"}, "elsewhere/Script.gsl"},
        {{"compile", "-p../out1", "Script.gs"}, "out1/Script.gsl"},
        {{"compile", "-p../out2/", "Script.gs"}, "out2/Script.gsl"},
        // The named output file is ignored: the library is named after the source.
        {{"compile", "-oOther.gsl", "-p../out1", "Script.gs"}, "out1/Script.gsl"},
    };
    std::string first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        std::filesystem::remove(root_ / c.library);
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kOk);
        const std::string image = root_.ReadAll(c.library);
        ASSERT_GT(image.size(), 24u);
        EXPECT_EQ(image.compare(4, 4, "\x5D\x57\x62\xF7"), 0);
        if (first.empty())
            first = image;
        // The header names the library as the command line gave it.
        EXPECT_EQ(image.substr(24, 10), std::string("Script.gs", 10));
        EXPECT_EQ(image, first);
    }
    EXPECT_FALSE(root_.Has("out1/Other.gsl"));
    EXPECT_FALSE(root_.Has("elsewhere/Other.gsl"));

    ProcessResult nowhere = Run({"compile", "-p../no/such/folder", "Script.gs"});
    EXPECT_EQ(nowhere.exitCode, 255);
    EXPECT_EQ(nowhere.out, "Unable to open output file.\n\n" + kOk);
}

TEST_F(CompileProcessTest, ABackslashInAPathIsASlash)
{
    Write("Script.gs", "class Script {};\n");
    Write("sub/Uses.gs", "include \"lib.gs\"\nclass Uses {};\n");
    Write("inc/lib.gs", "class Lib {};\n");
    root_.MakeFolder("out1");
    root_.MakeFolder("out2");
    root_.MakeFolder("elsewhere/logs");
    struct Case {
        std::vector<std::string> args;
        std::string library;
    };
    const Case cases[] = {
        {{"compile", "-p..\\out1\\", "Script.gs"}, "out1/Script.gsl"},
        {{"compile", "-p..\\out2", "Script.gs"}, "out2/Script.gsl"},
        {{"compile", "-iinc\\", "sub\\Uses.gs"}, "elsewhere/sub/Uses.gsl"},
        {{"compile", "-blogs\\build.log", "-p..\\out1", "-i..\\elsewhere\\inc", "sub\\Uses.gs"}, "out1/Uses.gsl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kOk);
        EXPECT_TRUE(root_.Has(c.library));
    }
    EXPECT_TRUE(root_.Has("elsewhere/logs/build.log"));
    // No file took a backslash into its name.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.Path()))
        EXPECT_EQ(entry.path().filename().string().find('\\'), std::string::npos) << entry.path();
}

TEST_F(CompileProcessTest, AScrambledSourceCompilesToTheIdOfItsText)
{
    Write("Script.gs", "class Script {\n  string s = \"text\";\n};\n");
    ASSERT_EQ(Run({"compile", "Script.gs"}).exitCode, 0);
    const std::string plain = root_.ReadAll("elsewhere/Script.gsl");
    ASSERT_EQ(Run({"encrypt", "Script.gs"}).exitCode, 0);
    std::filesystem::remove(Elsewhere() + "/Script.gs");
    std::filesystem::remove(Elsewhere() + "/Script.gsl");
    ProcessResult r = Run({"compile", "Script.gse"});
    EXPECT_EQ(r.exitCode, 0);
    const std::string scrambled = root_.ReadAll("elsewhere/Script.gsl");
    ASSERT_FALSE(IdOf(plain).empty());
    EXPECT_EQ(IdOf(scrambled), IdOf(plain));
}

TEST_F(CompileProcessTest, AFullDiskKeepsTheOldLibrary)
{
    Write("Script.gs", "class Old {};\n");
    ASSERT_EQ(Run({"compile", "Script.gs"}).exitCode, 0);
    const std::string old = root_.ReadAll("elsewhere/Script.gsl");
    ASSERT_FALSE(old.empty());

    // A library far larger than the file-size limit.
    std::string text = "class New {\n";
    for (int i = 0; i < 400; ++i)
        text += "  int F" + std::to_string(i) + "(int a) { return a + " + std::to_string(i) + "; }\n";
    Write("Script.gs", text + "};\n");
    ProcessResult failed = RunLimited({"compile", "Script.gs"}, 4096);
    EXPECT_EQ(failed.exitCode, 255);
    EXPECT_EQ(failed.out, "Unable to write output file.\n\n" + kOk);
    EXPECT_EQ(root_.ReadAll("elsewhere/Script.gsl"), old);
    for (const auto& entry : std::filesystem::directory_iterator(Elsewhere()))
        EXPECT_EQ(entry.path().filename().string().find(".saving"), std::string::npos) << entry.path();
}
