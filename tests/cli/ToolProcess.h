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

std::string Slurp(const std::filesystem::path& path);

std::filesystem::path BuiltToolProgram();

// Lays out a data root: root/bin with copies of the built program and the
// stand-in daemon, the system scripts and their libraries as the build made
// them, and root/elsewhere to run commands from.
void LayOutToolRoot(const std::string& root);

// Starts root/bin/KestroUtil with the arguments from root/elsewhere, its
// input from /dev/null and its output going to files in `outputFolder`;
// `prepare`, when given, runs in the child just before the program starts
// (the child leaves with 127 when it fails). The child's process id.
pid_t StartToolProcess(const std::string& root, const std::string& outputFolder,
                       const std::vector<std::string>& args, const std::function<bool()>& prepare = {});

// What the program started by StartToolProcess wrote, and its exit code
// from the wait status it ended with.
ProcessResult ToolProcessResult(const std::string& outputFolder, int status);

// Waits for the program started by StartToolProcess to end, within the
// bound: after it the program is killed, the test fails and the result's
// exit code is -1.
ProcessResult FinishToolProcess(pid_t pid, const std::string& outputFolder, const std::string& command,
                                std::chrono::seconds bound);

// Runs root/bin/KestroUtil as StartToolProcess starts it, to its end; a
// command that hangs is killed after a bound far beyond any command's
// time, before the test command's own limit would end the whole test.
ProcessResult RunTool(const std::string& root, const std::string& outputFolder,
                      const std::vector<std::string>& args, const std::function<bool()>& prepare = {});

// Runs root/bin/KestroUtil as RunTool does, but with its standard output
// going into a pipe read as it comes: the result's output is what came
// through the pipe.
ProcessResult RunToolIntoPipe(const std::string& root, const std::string& outputFolder,
                              const std::vector<std::string>& args);

// As RunTool, with a bound of the caller's.
ProcessResult RunToolWithin(const std::string& root, const std::string& outputFolder,
                            const std::vector<std::string>& args,
                            std::chrono::seconds bound = std::chrono::seconds(120));

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
