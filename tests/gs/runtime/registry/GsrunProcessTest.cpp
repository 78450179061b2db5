// The script runner as a program: its actions, its lines and exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "gs/runtime/RuntimeTestSupport.h"
#include "support/ChildProcess.h"

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

// Runs root/bin/gsrun (a copy of the built program) in `cwd`.
RunnerResult Gsrun(const TempFolder& root, const std::string& cwd, const std::vector<std::string>& args)
{
    namespace fs = std::filesystem;
    const std::string program = root / "bin/gsrun";
    if (!fs::exists(program)) {
        fs::create_directories(root / "bin");
        fs::copy_file(fs::read_symlink("/proc/self/exe").parent_path() / "gsrun", program);
    }
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
    int status = 0;
    RunnerResult run;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
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

TEST(GsrunProcessTest, UsageErrors)
{
    TempFolder root;
    root.MakeFolder("work");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"add"}, {"run", "x"}, {"add", "x.gsl", "load"}})
        EXPECT_EQ(Gsrun(root, root / "work", args).code, 2);
}
