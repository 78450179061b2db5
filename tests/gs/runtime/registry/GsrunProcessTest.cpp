// The script runner as a program: its actions, its lines and exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "gs/runtime/RuntimeTestSupport.h"
#include "support/ChildProcess.h"
#include "support/GSProgramBuilder.h"

namespace {

struct RunnerResult {
    int code = -1;
    std::string out;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// root/bin/gsrun, a copy of the built program made on first use.
std::string ProgramIn(const TempFolder& root)
{
    namespace fs = std::filesystem;
    const std::string program = root / "bin/gsrun";
    if (!fs::exists(program)) {
        fs::create_directories(root / "bin");
        fs::copy_file(fs::read_symlink("/proc/self/exe").parent_path() / "gsrun", program);
    }
    return program;
}

// Runs root/bin/gsrun in `cwd`.
RunnerResult Gsrun(const TempFolder& root, const std::string& cwd, const std::vector<std::string>& args)
{
    const std::string program = ProgramIn(root);
    const std::string outPath = root / "out.txt";
    childprocess::CommandLine command(program, args);
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open((outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        ::execv(program.c_str(), command.Argv());
        ::_exit(127);
    }
    const int status = childprocess::WaitChild(pid);
    EXPECT_NE(status, -1) << "the runner did not end";
    RunnerResult run;
    if (status != -1 && WIFEXITED(status))
        run.code = WEXITSTATUS(status);
    run.out = Slurp(outPath);
    return run;
}

std::vector<uint8_t> Library(const std::string& cls, uint32_t low, const std::string& uses = "", uint32_t usesLow = 0)
{
    GSLibraryBuilder b(cls + ".gs", low, 7);
    b.AddClass(cls);
    if (!uses.empty())
        b.AddClassRef(b.AddDependency(usesLow, 7), uses);
    return b.Build();
}

}  // namespace

TEST(GsrunProcessTest, AddAndLoadWithDependencies)
{
    TempFolder root;
    root.Write("work/x.gsl", Bytes(Library("X", 1, "Y", 2)));
    root.Write("work/lib/y.gsl", Bytes(Library("Y", 2)));
    RunnerResult run = Gsrun(root, root / "work", {"folder", "lib", "add", "x.gsl", "load", "X.GSL"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "folder lib: ok\nadd x.gsl: ok\nload X.GSL: ok\n");
}

TEST(GsrunProcessTest, LinkErrorsPrintBeforeTheirAction)
{
    TempFolder root;
    GSLibraryBuilder b("x.gs", 1, 7);
    b.AddClass("X");
    b.AddClassRef(0, "Gone");
    b.AddClassRef(0, "Lost");
    root.Write("work/x.gsl", Bytes(b.Build()));
    root.Write("work/bad.gsl", "not a library");
    RunnerResult run = Gsrun(root, root / "work",
                    {"add", "x.gsl", "load", "x.gsl", "add", "bad.gsl", "load", "none.gsl", "folder", "missing"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "add x.gsl: ok\n"
              "log: GS Link error: Unable to find class 'Gone'\n"
              "log: GS Link error: Unable to find class 'Lost'\n"
              "log: GSMachine: Error loading library x.gsl\n"
              "load x.gsl: failed\n"
              "add bad.gsl: refused\n"
              "load none.gsl: failed\n"
              "folder missing: failed\n");
}

TEST(GsrunProcessTest, TheDataRootsLibrariesComeFirst)
{
    TempFolder root;
    root.Write("libraries/sys.gsl", Bytes(Library("Sys", 3)));
    root.Write("work/x.gsl", Bytes(Library("X", 1, "Sys", 3)));
    RunnerResult run = Gsrun(root, root / "work", {"load", "sys.gsl", "add", "x.gsl", "load", "x.gsl"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "load sys.gsl: ok\nadd x.gsl: ok\nload x.gsl: ok\n");
}

TEST(GsrunProcessTest, CorruptLibrariesFailWithoutCrashing)
{
    TempFolder root;
    std::vector<uint8_t> image = Library("X", 1);
    for (size_t at = 20; at < image.size(); at += 7)
        image[at] ^= 0x5A;
    root.Write("work/x.gsl", Bytes(image));
    RunnerResult run = Gsrun(root, root / "work", {"add", "x.gsl", "load", "x.gsl"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("load x.gsl: failed\n"), std::string::npos);
}

// A compiled library with one word changed: the record of "Name" says it
// returns an int while its signature, which the caller goes by, says a
// string. The call must fail, not take the string for a number or the
// number for a string.
TEST(GsrunProcessTest, ARecordThatContradictsItsSignatureDoesNotLoad)
{
    TempFolder root;
    GSLibraryBuilder b("solo.gs", 0x50, 0x10);
    b.AddClass("Solo", {"$string@Solo::Name()", "$int@Solo::Count()"});
    GSLibraryBuilder::Function& name = b.classes[0].functions[0];
    name.code = CodeBytes().Op(73).U16(uint16_t(b.Str("solo"))).Op(111);
    b.classes[0].functions[1].code = CodeBytes().Op(30).U32(7).Op(110);
    root.Write("work/good.gsl", Bytes(b.Build()));
    name.returnType = 2;
    b.idLow = 0x51;
    b.dependencies[0].first = 0x51;
    root.Write("work/solo.gsl", Bytes(b.Build()));
    RunnerResult run = Gsrun(root, root / "work",
                             {"add", "good.gsl", "call", "good.gsl", "Solo", "$string@Solo::Name()",
                              "add", "solo.gsl", "call", "solo.gsl", "Solo", "$string@Solo::Name()",
                              "call", "solo.gsl", "Solo", "$int@Solo::Count()"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "add good.gsl: ok\n"
              "call $string@Solo::Name(): solo\n"
              "add solo.gsl: ok\n"
              "log: GS Link error: Unable to initialise class 'Solo'\n"
              "log: GSMachine: Error loading library solo.gsl\n"
              "call $string@Solo::Name(): failed\n"
              "log: GS Link error: Unable to initialise class 'Solo'\n"
              "log: GSMachine: Error loading library solo.gsl\n"
              "call $int@Solo::Count(): failed\n");
}

TEST(GsrunProcessTest, UsageErrors)
{
    TempFolder root;
    root.MakeFolder("work");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"add"}, {"walk", "x"}, {"run"}, {"test"}, {"add", "x.gsl", "load"}})
        EXPECT_EQ(Gsrun(root, root / "work", args).code, 2);
}

namespace {

// t.gsl: T with functions of each result type, one that divides by zero,
// one that never ends; G, a game class whose Who() asks native 1.
std::vector<uint8_t> CallableLibrary()
{
    using namespace gsop;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& t = p.AddClass("T");
    p.AddMethod(t, "Add", "int", {"int", "int"}, GSAsm().Op(LOAD, 1).Op(LOAD, 2).Op(ADD).Op(RETV));
    p.AddMethod(t, "Not", "bool", {"bool"}, GSAsm().Op(LOAD, 1).Op(EQZ).Op(RETV));
    p.AddMethod(t, "Half", "float", {"float"}, GSAsm().Op(LOAD, 1).Float(2.0f).Op(FDIV).Op(RETV));
    p.AddMethod(t, "Greet", "string", {"string"},
                GSAsm().Op(PUSHS, uint16_t(p.Str("hello "))).Op(LOADO, 1).Op(SCAT).Op(RETO));
    p.AddMethod(t, "Nothing", "string", {}, GSAsm().Op(PUSH0).Op(RETO));
    p.AddMethod(t, "Quiet", "void", {}, GSAsm().Op(RET));
    p.AddMethod(t, "Divide", "int", {"int"}, GSAsm().Line(4).Int(7).Line(5).Op(LOAD, 1).Op(DIV).Op(RETV));
    p.AddMethod(t, "Spin", "void", {}, GSAsm().Line(9).Label("l").Jump(JMP, "l"));
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    p.AddMethod(g, "Who", "string", {}, GSAsm().Op(LOADO, 0).Call(CALLN, 0, 0).Op(RETO));
    return p.Build();
}

}  // namespace

TEST(GsrunProcessTest, CallPrintsEachKindOfResult)
{
    TempFolder root;
    root.Write("libraries/gs.gsl", Bytes(SystemLibraryImage()));
    root.Write("work/t.gsl", Bytes(CallableLibrary()));
    RunnerResult run = Gsrun(root, root / "work",
                             {"add", "t.gsl", "call", "t.gsl", "T", "$int@T::Add(int,int)", "40", "-2",
                              "call", "t.gsl", "T", "$bool@T::Not(bool)", "false",
                              "call", "t.gsl", "T", "$float@T::Half(float)", "3",
                              "call", "t.gsl", "T", "$string@T::Greet(string)", "you",
                              "call", "t.gsl", "T", "$string@T::Nothing()",
                              "call", "t.gsl", "T", "$void@T::Quiet()",
                              "call", "t.gsl", "G", "$string@G::Who()"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out,
              "add t.gsl: ok\n"
              "call $int@T::Add(int,int): 38\n"
              "call $bool@T::Not(bool): true\n"
              "call $float@T::Half(float): 1.500000\n"
              "call $string@T::Greet(string): hello you\n"
              "call $string@T::Nothing(): null\n"
              "call $void@T::Quiet(): done\n"
              "call $string@G::Who(): G\n");
}

TEST(GsrunProcessTest, CallsThatFailLogTheirLines)
{
    TempFolder root;
    root.Write("libraries/gs.gsl", Bytes(SystemLibraryImage()));
    root.Write("work/t.gsl", Bytes(CallableLibrary()));
    RunnerResult run = Gsrun(root, root / "work",
                             {"add", "t.gsl", "call", "t.gsl", "T", "$int@T::Divide(int)", "0",
                              "call", "t.gsl", "T", "$void@T::Spin()",
                              "call", "t.gsl", "T", "$int@T::Add(int,int)", "1", "x",
                              "call", "t.gsl", "Nobody", "$void@T::Quiet()",
                              "call", "t.gsl", "T", "$void@T::Absent()",
                              "call", "t.gsl", "T", "$int@T::Divide(int)", "7"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "add t.gsl: ok\n"
              "log: Thread Exception: ER_DivideByZero, line 5, file t.gs\n"
              "log: Stack Dump...\n"
              "log: function $int@T::Divide(int), line -1\n"
              "call $int@T::Divide(int): failed\n"
              "log: Thread Exception: ER_Timeout, line 9, file t.gs\n"
              "log: Stack Dump...\n"
              "log: function $void@T::Spin(), line -1\n"
              "call $void@T::Spin(): failed\n"
              "call $int@T::Add(int,int): failed\n"
              "call $void@T::Quiet(): failed\n"
              "call $void@T::Absent(): failed\n"
              "call $int@T::Divide(int): 1\n");
}

TEST(GsrunProcessTest, CallNeedsOneArgumentPerParameter)
{
    TempFolder root;
    root.MakeFolder("work");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"call", "t.gsl", "T"}, {"call", "t.gsl", "T", "$int@T::Add(int,int)", "1"},
          {"call", "t.gsl", "T", "Add(int)", "1"}, {"call", "t.gsl", "T", "$void@T::F()", "extra"}})
        EXPECT_EQ(Gsrun(root, root / "work", args).code, 2);
}

// A thread started by call runs when the runner's router is pumped; its
// object lives on between actions.
TEST(GsrunProcessTest, PumpRunsTheThreadsCallStarted)
{
    using namespace gsop;
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& g = p.AddClass("G", {"GameObject"});
    const uint16_t warn = uint16_t(p.Slot("G", "Exception")), sleep = uint16_t(p.Slot("G", "Sleep"));
    p.AddMethod(g, "Tick", "void", {},
                GSAsm().Op(LOADO, 0).Op(PUSHS, uint16_t(p.Str("tick"))).Call(CALLN, -1, warn)
                    .Op(LOADO, 0).Float(0.3f).Call(CALLN, -1, sleep)
                    .Op(LOADO, 0).Op(PUSHS, uint16_t(p.Str("tock"))).Call(CALLN, -1, warn).Op(RET))
        .flags = 1 | 16;
    TempFolder root;
    root.Write("libraries/gs.gsl", Bytes(SystemLibraryImage()));
    root.Write("work/t.gsl", Bytes(p.Build()));
    RunnerResult run = Gsrun(root, root / "work",
                             {"add", "t.gsl", "call", "t.gsl", "G", "$void@G::Tick()", "pump", "0.1", "pump", "0.5",
                              "pump", "soon"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "add t.gsl: ok\n"
              "call $void@G::Tick(): done\n"
              "log: tick (file gs.gs)\n"
              "pump 0.1: ok\n"
              "log: tock (file gs.gs)\n"
              "pump 0.5: ok\n"
              "pump soon: failed\n");
}

namespace {

// A data root with the build's system scripts and their libraries, and the
// runner's own.
void LayOutDataRoot(const TempFolder& root)
{
    namespace fs = std::filesystem;
    const fs::path built = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    for (const char* folder : {"scripts", "libraries", "gsrun"}) {
        fs::create_directories(root / folder);
        for (const auto& entry : fs::directory_iterator(built / folder))
            fs::copy_file(entry.path(), fs::path(root / folder) / entry.path().filename());
    }
}

const char* const kHeader = "include \"gs.gs\"\ninclude \"test.gs\"\n";

}  // namespace

TEST(GsrunProcessTest, RunCompilesRunsAndSettles)
{
    TempFolder root;
    LayOutDataRoot(root);
    root.Write("work/hello.gs", std::string(kHeader) +
                                    "class Test isclass GameObject {\n"             // 3
                                    "  thread void Fail(void) { int z; z = 1 / z; }\n"  // 4
                                    "  void Main(void) { Out.Print(\"hello\"); Fail(); }\n"
                                    "};\n");
    root.Write("work/broken.gs", std::string(kHeader) + "class Test {\n  void Main(void) { nothing(); }\n};\n");
    root.Write("work/forever.gs", std::string(kHeader) +
                                      "class Test isclass GameObject {\n"
                                      "  thread void Wait(void) { on \"Never\", \"\": return; }\n"
                                      "  void Main(void) { Wait(); }\n"
                                      "};\n");
    root.Write("work/nomain.gs", std::string(kHeader) + "class Test {\n};\n");
    RunnerResult run = Gsrun(root, root / "work",
                             {"run", "hello.gs", "run", "broken.gs", "run", "forever.gs", "run", "nomain.gs",
                              "run", "absent.gs"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "hello\n"
              "log: Thread Exception: ER_DivideByZero, line 4, file hello.gs\n"
              "log: Stack Dump...\n"
              "log: function $void@Test::Fail(), line -1\n"
              "run hello.gs: thread $void@Test::Fail() ended with ER_DivideByZero, line 4, file hello.gs\n"
              "run hello.gs: failed\n"
              "compile: broken.gs(4) : function nothing not declared, line 4.\n"
              "run broken.gs: failed\n"
              "run forever.gs: failed\n"
              "run nomain.gs: failed\n"
              "compile: Could not read file  absent.gs.\n"
              "run absent.gs: failed\n");
}

// A run whose threads an exception ended has failed, and says which
// exception ended which thread; threads that end well fail nothing.
TEST(GsrunProcessTest, RunFailsWhenAThreadEndsWithAnException)
{
    TempFolder root;
    LayOutDataRoot(root);
    const std::string game = std::string(kHeader) + "class Test isclass GameObject {\n";  // line 3
    const struct {
        const char* file;
        std::string body;  // from line 4
        int code;
        std::string runLines;  // the "run" lines, after the script's own
    } cases[] = {
        {"fine.gs",
         "  thread void Count(void) { int i; for (i = 0; i < 10; i++) Sleep(0.1); Out.Print(\"counted\"); }\n"
         "  void Main(void) { Count(); }\n",
         0, "run fine.gs: ok\n"},
        {"spins.gs",
         "  thread void Spin(void) { int n = 0; while (true) n++; }\n"
         "  thread void Count(void) { Sleep(0.5); Out.Print(\"counted\"); }\n"
         "  void Main(void) { Spin(); Count(); }\n",
         1, "run spins.gs: thread $void@Test::Spin() ended with ER_Timeout, line 4, file spins.gs\nrun spins.gs: failed\n"},
        // The thread is the outermost frame, not the function that failed.
        {"two.gs",
         "  int Divide(int by) { return 1 / by; }\n"
         "  thread void First(void) { Divide(0); }\n"
         "  thread void Second(void) { Sleep(0.2); int[] a = new int[2]; Out.Print(\"element \" + a[2]); }\n"
         "  void Main(void) { First(); Second(); }\n",
         1,
         "run two.gs: thread $void@Test::First() ended with ER_DivideByZero, line 4, file two.gs\n"
         "run two.gs: thread $void@Test::Second() ended with ER_ArrayOutOfBounds, line 6, file two.gs\n"
         "run two.gs: failed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        root.Write(std::string("work/") + c.file, game + c.body + "};\n");
        RunnerResult run = Gsrun(root, root / "work", {"run", c.file});
        EXPECT_EQ(run.code, c.code) << run.out;
        ASSERT_GE(run.out.size(), c.runLines.size()) << run.out;
        EXPECT_EQ(run.out.substr(run.out.size() - c.runLines.size()), c.runLines) << run.out;
    }
}

namespace {

struct ScriptOutcome {
    int status = -1;  // the wait status; -1 when it had to be stopped
    std::string out;
};

// Compiles and runs work/FILE, a class Test whose Main has `body` (after
// the Str natives' declarations); the limit only keeps a script that never
// ends from holding the test up.
ScriptOutcome RunScript(const TempFolder& root, const std::string& file, const std::string& body)
{
    static const char* const kStr =
        "static class Str {\n"
        "  public native void TrimLeft(string s, string set);\n"
        "  public native string[] Tokens(string s, string separators);\n"
        "  public native int Find(string s, string sought, int start);\n"
        "};\n";
    root.Write("work/" + file, std::string(kHeader) + kStr + "class Test {\n  void Main(void) { " + body + " }\n};\n");
    const std::string program = ProgramIn(root);
    const std::string temporary = root / "tmp";
    std::filesystem::create_directories(temporary);
    ScriptOutcome outcome;
    outcome.status = childprocess::RunInChild(
        root / "work",
        [&] {
            // The compile's folder, left behind if the script must be stopped.
            ::setenv("TMPDIR", temporary.c_str(), 1);
            childprocess::CommandLine command(program, {"run", file});
            ::execv(program.c_str(), command.Argv());
        },
        std::chrono::seconds(300));
    outcome.out = Slurp(root / "work/child-stdout.txt");
    return outcome;
}

bool EndsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

// Loops whose passes allocate or copy a great deal and whose code is a few
// bytes: their work spends the run's budget, so each ends with ER_Timeout
// within seconds, while one allocation of the largest array still succeeds.
TEST(GsrunProcessTest, RunawayLoopsThatAllocateOrCopyTimeOut)
{
    TempFolder root;
    LayOutDataRoot(root);
    const struct {
        const char* file;
        const char* body;
        const char* ending;
    } loops[] = {
        {"allocate.gs", "int[] a; while (true) { a = new int[16777215]; }", "run allocate.gs: failed\n"},
        {"append.gs", "string s = \"\"; while (true) { s = s + \"ab\"; }", "run append.gs: failed\n"},
        {"copy.gs",
         "string s = \"0123456789abcdef\"; int i; for (i = 0; i < 16; i++) s = s + s;"
         " string t; while (true) { t = s; }",
         "run copy.gs: failed\n"},
        {"largest.gs", "int[] a = new int[16777215]; Out.Print(\"made \" + a.size());",
         "made 16777215\nrun largest.gs: ok\n"},
    };
    for (const auto& loop : loops) {
        SCOPED_TRACE(loop.file);
        const ScriptOutcome run = RunScript(root, loop.file, loop.body);
        ASSERT_NE(run.status, -1) << "still running after 300 s";
        const bool ok = EndsWith(loop.ending, ": ok\n");
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == (ok ? 0 : 1));
        if (!ok) {
            EXPECT_NE(run.out.find("log: Thread Exception: ER_Timeout, line 9, file " + std::string(loop.file)),
                      std::string::npos)
                << run.out;
        }
        EXPECT_TRUE(EndsWith(run.out, loop.ending)) << run.out;
    }
}

// Str natives over texts of tens of megabytes made to be their worst case:
// a sought text that matches everywhere but at its end, a separator set
// that holds every byte of the text as its last. Each finishes in time
// linear in its texts.
TEST(GsrunProcessTest, StrNativesTakeTimeInProportionToTheirTexts)
{
    TempFolder root;
    LayOutDataRoot(root);
    const struct {
        const char* file;
        const char* body;
        const char* printed;
    } cases[] = {
        {"find.gs",
         "string s = \"a\"; int i; for (i = 0; i < 25; i++) s = s + s;"
         " string sought = s[0, 16777215] + \"b\"; Out.Print(\"at \" + Str.Find(s, sought, 0));",
         "at -1\n"},
        {"trim.gs",
         "string s = \"a\"; string set = \"b\"; int i; for (i = 0; i < 24; i++) { s = s + s; set = set + set; }"
         " set = set + \"a\"; Str.TrimLeft(s, set); Out.Print(\"left \" + s.size());",
         "left 0\n"},
        {"tokens.gs",
         "string s = \"a\"; string set = \"b\"; int i; for (i = 0; i < 24; i++) { s = s + s; set = set + set; }"
         " set = set + \"a\"; Out.Print(\"tokens \" + Str.Tokens(s, set).size());",
         "tokens 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ScriptOutcome run = RunScript(root, c.file, c.body);
        ASSERT_NE(run.status, -1) << "still running after 300 s";
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
        EXPECT_EQ(run.out, std::string(c.printed) + "run " + c.file + ": ok\n");
    }
}

TEST(GsrunProcessTest, TestComparesEachFileWithItsExpectations)
{
    TempFolder root;
    LayOutDataRoot(root);
    const std::string prints = std::string(kHeader) +
                               "class Test isclass GameObject {\n"
                               "  void Main(void) { Out.Print(\"a\"); Out.Print(\"b\"); Exception(\"w\"); }\n"
                               "};\n";
    const struct {
        const char* file;
        std::string expectations;
        const char* result;  // after the file's name
    } cases[] = {
        {"a_pass.gs", "// expect: a\n  // expect: b\n// expect log: w (file gs.gs)\n", "PASS"},
        {"b_other.gs", "// expect: a\n// expect: c\n", "FAIL: line 7: expected \"c\", got \"b\""},
        {"c_kind.gs", "// expect: a\n// expect: b\n// expect: w (file gs.gs)\n",
         "FAIL: line 8: expected \"w (file gs.gs)\", got log \"w (file gs.gs)\""},
        {"d_fewer.gs", "// expect: a\n", "FAIL: unexpected \"b\" after line 6"},
        {"e_more.gs", "// expect: a\n// expect: b\n// expect log: w (file gs.gs)\n// expect: z\n",
         "FAIL: line 9: expected \"z\", got nothing more"},
        {"f_compiles.gs", "// expect compile: nothing\n", "FAIL: line 6: expected compile \"nothing\", got \"a\""},
    };
    std::string expected;
    for (const auto& c : cases) {
        root.Write(std::string("work/scripts/") + c.file, prints + c.expectations);
        expected += std::string(c.result).rfind("PASS", 0) == 0
                        ? "PASS scripts/" + std::string(c.file) + "\n"
                        : "FAIL scripts/" + std::string(c.file) + std::string(c.result).substr(4) + "\n";
    }
    root.Write("work/scripts/notes.txt", "not a script");
    root.Write("work/scripts/inc/skipped.gs", "not run: in a sub-folder");
    RunnerResult run = Gsrun(root, root / "work", {"test", "scripts"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, expected);

    // A failed compile that was expected passes; a run that fails, fails.
    root.Write("work/ok/broken.gs", std::string(kHeader) +
                                        "class Test {\n  void Main(void) { nothing(); }\n};\n"
                                        "// expect compile: broken.gs(4) : function nothing not declared, line 4.\n");
    root.Write("work/ok/pass.gs", prints + "// expect: a\n// expect: b\n// expect log: w (file gs.gs)\n");
    run = Gsrun(root, root / "work", {"test", "ok/broken.gs", "ok"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "PASS ok/broken.gs\nPASS ok/broken.gs\nPASS ok/pass.gs\n");
    root.Write("work/nomain.gs", std::string(kHeader) + "class Test {\n};\n");
    run = Gsrun(root, root / "work", {"test", "nomain.gs"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "FAIL nomain.gs: Main failed\n");
}
