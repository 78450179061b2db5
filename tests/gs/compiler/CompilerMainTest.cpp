// The compiler's command line: options, usage, the log and the exit value.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gs/compiler/CompilerMain.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "support/ChildProcess.h"
#include "support/CompilerUsage.h"
#include "support/TempFolder.h"

namespace {

struct Outcome {
    int result;
    std::string out;
};

Outcome RunCompiler(const std::vector<std::string>& args, const std::string& program = "gsc")
{
    childprocess::CommandLine command(program, args);
    testing::internal::CaptureStdout();
    Outcome o;
    o.result = CompilerMain(command.Argc(), command.Argv());
    o.out = testing::internal::GetCapturedStdout();
    GSCompiler::IncludePathList::Global().Clear();
    return o;
}

}  // namespace

TEST(CompilerMainTest, UsageNamesTheProgramWithoutItsFolder)
{
    const std::string longName(1000, 'p');
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string name;
    };
    const Case cases[] = {
        {"gsc", {}, "gsc"},
        {"/usr/bin/gsc", {"-s"}, "gsc"},
        {"C:\\tools\\bin\\gsc.exe", {""}, "gsc.exe"},
        {"d:gsc", {"-oout.gsl"}, "gsc"},
        {"a/b\\c:" + longName, {"-pout", "-i", "-bnothing-logged.txt"}, longName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        Outcome o = RunCompiler(c.args, c.program);
        EXPECT_EQ(o.result, 1);
        EXPECT_EQ(o.out, CompilerUsage(c.name));
    }
    std::remove("nothing-logged.txt");
}

TEST(CompilerMainTest, Options)
{
    TempFolder dir;
    dir.Write("good.gs", "class A {};");
    dir.Write("bad.gs", "class A {\n x\n};");
    dir.Write("uses.gs", "include \"lib.gs\"\nclass A {};");
    dir.Write("inc/lib.gs", "class Lib {};");
    dir.MakeFolder("out");
    const std::string good = dir / "good.gs";
    const std::string bad = dir / "bad.gs";
    const std::string missing = dir / "missing.gs";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int result;
        std::string out;
    };
    const Case cases[] = {
        {"a compile", {good}, 0, ""},
        {"a syntax error counts 2", {bad}, 2, "bad.gs(3) : parse error, line 3\n"},
        {"a missing file", {missing}, 1, "Could not read file  missing.gs.\n"},
        {"the last input wins", {bad, missing}, 1, "Could not read file  missing.gs.\n"},
        {"-d after the input compiles nothing", {missing, "-d"}, 0, ""},
        {"-d before -s", {"-d", "-s", missing}, 0, ""},
        {"-s", {"-s", bad}, 2, ""},
        {"-o, -c, -t, -l, a lone - and others do nothing", {"-oname.gsl", "-c", "-t", "-l", "-", "-x", good}, 0,
         ""},
        {"an option's text is in its own argument", {"-o", "out.gsl"}, 1, "Could not read file  out.gsl.\n"},
        {"-p takes the rest of its argument", {"-p", good}, 0, ""},
        {"-i adds a folder", {"-i" + (dir / "inc"), dir / "uses.gs"}, 0, ""},
        {"a backslash in a path is a slash", {"-p" + dir.Path() + "\\out\\", "-i" + dir.Path() + "\\inc", dir / "uses.gs"}, 0,
         ""},
        {"without -i the include is missing", {dir / "uses.gs"}, 1, "Could not read file  lib.gs.\n"},
        {"a log that cannot open", {"-b" + (dir / "no/such/folder/log.txt"), missing}, 1,
         "Could not read file  missing.gs.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = RunCompiler(c.args);
        EXPECT_EQ(o.result, c.result);
        // An empty output folder is the working folder.
        if (c.args.front() == "-p") {
            EXPECT_EQ(std::remove("good.gsl"), 0);
        }
        if (std::string(c.name).find("-d") != std::string::npos) {
            EXPECT_EQ(o.out.rfind("GameScript (GS) language notes\n", 0), 0u) << o.out;
            EXPECT_EQ(o.out.find("Could not read"), std::string::npos);
            EXPECT_EQ(o.out.back(), '\n');
        } else {
            EXPECT_EQ(o.out, c.out);
        }
    }
    EXPECT_TRUE(dir.Has("good.gsl"));
    EXPECT_TRUE(dir.Has("uses.gsl"));
    EXPECT_TRUE(dir.Has("out/uses.gsl"));
    EXPECT_FALSE(dir.Has("name.gsl"));
    EXPECT_FALSE(dir.Has("bad.gsl"));
}

TEST(CompilerMainTest, TheLogIsAppendedToAndSilentKeepsOnlyTheLog)
{
    TempFolder dir;
    dir.Write("bad.gs", "class {};");
    const std::string log = dir / "build.log";
    Outcome first = RunCompiler({"-s", "-b" + log, dir / "bad.gs"});
    EXPECT_EQ(first.result, 2);
    EXPECT_EQ(first.out, "");
    Outcome second = RunCompiler({"-b" + log, dir / "missing.gs"});
    EXPECT_EQ(second.result, 1);
    EXPECT_EQ(second.out, "Could not read file  missing.gs.\n");
    EXPECT_EQ(dir.ReadAll("build.log"), "bad.gs(1) : parse error, line 1\nCould not read file  missing.gs.\n");
}

// What the language notes show of a declaration is what the parser takes.
TEST(CompilerMainTest, TheLanguageNotesShowIncludesAsTheyParse)
{
    const std::string notes = RunCompiler({"-d"}).out;
    const size_t at = notes.find("\n  include ");
    ASSERT_NE(at, std::string::npos) << notes;
    const std::string line = notes.substr(at + 3, notes.find('\n', at + 1) - at - 3);
    // The example, without the note in parentheses after it.
    const std::string example = line.substr(0, line.find("  ("));
    TempFolder dir;
    dir.Write("file.gs", "class Included {};");
    dir.Write("uses.gs", example + "\nclass A {};");
    Outcome o = RunCompiler({dir / "uses.gs"});
    EXPECT_EQ(o.result, 0) << example;
    EXPECT_EQ(o.out, "");
}

// The program's exit code is all its parent learns, and only its low 8
// bits: no count of errors may read as success.
TEST(CompilerMainTest, TheProgramEndsWithTheCountAndNeverWithZeroAfterErrors)
{
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "gsc";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    // A source with that many calls of undeclared functions: one error each.
    auto failing = [](int errors) {
        std::string text = "class T {\n  void F(void) {\n";
        for (int i = 0; i < errors; ++i)
            text += "    missing" + std::to_string(i) + "();\n";
        return text + "  }\n};\n";
    };
    const struct {
        int errors;
        int code;
    } cases[] = {{0, 0}, {3, 3}, {254, 254}, {255, 255}, {256, 255}, {512, 255}};
    TempFolder dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errors);
        dir.Write("t.gs", failing(c.errors));
        std::filesystem::remove(dir / "t.gsl");
        childprocess::CommandLine command(program, {"-s", dir / "t.gs"});
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execv(program.c_str(), command.Argv());
            ::_exit(127);
        }
        const int status = childprocess::WaitChild(pid);
        ASSERT_NE(status, -1) << "the compiler did not end";
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.code);
        EXPECT_EQ(dir.Has("t.gsl"), c.errors == 0);
    }
}
