// A data root laid out under a temporary folder for running the built
// program as a process: root/bin/KestroUtil (a copy of the program built
// beside the test) and the stand-in daemon; commands run from
// root/elsewhere with standard output and standard error captured.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DaemonTestSupport.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"

struct ProcessResult {
    int exitCode = -1;  // as the parent sees it: 0..255
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::path BuiltToolProgram()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KestroUtil";
}

// Lays out a data root: root/bin with copies of the built program and the
// stand-in daemon, the system scripts and their libraries as the build made
// them, and root/elsewhere to run commands from.
inline void LayOutToolRoot(const std::string& root)
{
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(root) / "bin");
    fs::copy_file(BuiltToolProgram(), fs::path(root) / "bin/KestroUtil");
    fs::permissions(fs::path(root) / "bin/KestroUtil", fs::perms::owner_exec, fs::perm_options::add);
    fs::create_directories(fs::path(root) / "elsewhere");
    for (const char* folder : {"scripts", "libraries"}) {
        const fs::path built = BuiltToolProgram().parent_path().parent_path() / folder;
        if (fs::is_directory(built))
            fs::copy(built, fs::path(root) / folder);
    }
    standin::Install(root);
}

// Starts root/bin/KestroUtil with the arguments from root/elsewhere, its
// input from /dev/null and its output going to files in `outputFolder`;
// `prepare`, when given, runs in the child just before the program starts
// (the child leaves with 127 when it fails). The child's process id.
inline pid_t StartToolProcess(const std::string& root, const std::string& outputFolder,
                              const std::vector<std::string>& args, const std::function<bool()>& prepare = {})
{
    const std::string program = root + "/bin/KestroUtil";
    const std::string outPath = outputFolder + "/out";
    const std::string errPath = outputFolder + "/err";
    const std::string cwd = root + "/elsewhere";
    childprocess::CommandLine command(program, args);

    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::dup2(in, 0) < 0 ||
            ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        childprocess::DefaultConsoleSignals();
        if (prepare && !prepare())
            ::_exit(127);
        ::execv(program.c_str(), command.Argv());
        ::_exit(127);
    }
    return pid;
}

// What the program started by StartToolProcess wrote, and its exit code
// from the wait status it ended with.
inline ProcessResult ToolProcessResult(const std::string& outputFolder, int status)
{
    ProcessResult result;
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = Slurp(outputFolder + "/out");
    result.err = Slurp(outputFolder + "/err");
    return result;
}

// Waits for the program started by StartToolProcess to end, within the
// bound: after it the program is killed, the test fails and the result's
// exit code is -1.
inline ProcessResult FinishToolProcess(pid_t pid, const std::string& outputFolder, const std::string& command,
                                       std::chrono::seconds bound)
{
    int status = 0;
    const bool ended = daemontest::WaitFor([&]() { return ::waitpid(pid, &status, WNOHANG) == pid; }, bound);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << command << " did not end within " << bound.count() << " s";
        ProcessResult result;
        result.out = Slurp(outputFolder + "/out");
        return result;
    }
    return ToolProcessResult(outputFolder, status);
}

// Runs root/bin/KestroUtil as StartToolProcess starts it, to its end; a
// command that hangs is killed after a bound far beyond any command's
// time, before the test command's own limit would end the whole test.
inline ProcessResult RunTool(const std::string& root, const std::string& outputFolder,
                             const std::vector<std::string>& args, const std::function<bool()>& prepare = {})
{
    pid_t pid = StartToolProcess(root, outputFolder, args, prepare);
    return FinishToolProcess(pid, outputFolder, args.empty() ? "the tool" : args[0], std::chrono::seconds(300));
}

// As RunTool, with a bound of the caller's.
inline ProcessResult RunToolWithin(const std::string& root, const std::string& outputFolder,
                                   const std::vector<std::string>& args,
                                   std::chrono::seconds bound = std::chrono::seconds(120))
{
    pid_t pid = StartToolProcess(root, outputFolder, args);
    return FinishToolProcess(pid, outputFolder, args.empty() ? "the tool" : args[0], bound);
}

class ToolProcessTest : public ::testing::Test {
protected:
    static std::filesystem::path BuiltProgram() { return BuiltToolProgram(); }

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(BuiltProgram())) << BuiltProgram();
        LayOutToolRoot(root_.Path());
    }

    void TearDown() override
    {
        // The daemon outlives the commands; it is closed as the tool closes
        // it, or ended when that did not work.
        if (standin::Serving(Root()) != 0)
            Run({"closekaddaemon"});
        standin::EndAll(Root());
    }

    std::string Root() const { return daemontest::RealPath(root_.Path()); }

    // Runs root/bin/KestroUtil with the arguments from root/elsewhere.
    ProcessResult Run(const std::vector<std::string>& args) { return RunTool(root_.Path(), output_.Path(), args); }
    // The same, for a command that might never end.
    ProcessResult RunWithin(const std::vector<std::string>& args)
    {
        return RunToolWithin(root_.Path(), output_.Path(), args);
    }

    TempFolder root_;
    TempFolder output_;
    daemontest::DiscoveryCleanup cleanup_{daemontest::RealPath(root_.Path())};
};
