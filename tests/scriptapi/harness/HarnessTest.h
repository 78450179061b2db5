// The script API's test program copied into a laid-out data root, run as a
// process with its standard output and error in one file.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ToolProcess.h"

class HarnessTest : public ToolProcessTest {
protected:
    static std::filesystem::path BuildFolder()
    {
        return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    }

    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const std::filesystem::path root = root_.Path();
        std::filesystem::copy_file(BuildFolder() / "bin/scriptapi-harness", root / "bin/scriptapi-harness");
        // The harness's own scripts and libraries, beside the system ones.
        std::filesystem::copy(BuildFolder() / "scriptapi-harness", root / "scriptapi-harness");
    }

    // Runs in `workingFolder` when one is given, else where the test runs.
    ProcessResult RunHarness(const std::vector<std::string>& args, const std::string& workingFolder = {})
    {
        const std::string program = root_.Path() + "/bin/scriptapi-harness";
        const std::string out = output_.Path() + "/out";
        childprocess::CommandLine command(program, args);
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0 ||
                (!workingFolder.empty() && ::chdir(workingFolder.c_str())))
                ::_exit(127);
            ::execv(program.c_str(), command.Argv());
            ::_exit(127);
        }
        const int status = childprocess::WaitChild(pid);
        EXPECT_NE(status, -1) << "the harness did not end";
        ProcessResult result;
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = Slurp(out);
        return result;
    }
};
