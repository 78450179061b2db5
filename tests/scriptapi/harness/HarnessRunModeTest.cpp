// The harness's "run FILE.gs" as a process in a laid-out data root: the
// script log reaches standard output, and the exit code tells whether Main
// ran to its end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

class HarnessRunModeTest : public ToolProcessTest {
protected:
    void SetUp() override
    {
        ToolProcessTest::SetUp();
        const fs::path root = root_.Path();
        fs::copy_file(BuildFolder() / "bin/scriptapi-harness", root / "bin/scriptapi-harness");
    }

    ProcessResult RunScript(const std::string& name, const std::string& text)
    {
        const std::string file = root_.Path() + "/" + name;
        std::ofstream(file) << text;
        const std::string program = root_.Path() + "/bin/scriptapi-harness";
        const std::string out = output_.Path() + "/out";
        childprocess::CommandLine command(program, {"run", file});
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0)
                ::_exit(127);
            ::execv(program.c_str(), command.Argv());
            ::_exit(127);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        ProcessResult result;
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = Slurp(out);
        return result;
    }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(HarnessRunModeTest, ScriptLogGoesToStandardOutputAndTheExitCodeTellsTheEnd)
{
    const ProcessResult done = RunScript("done.gs", R"(include "Kestro.gs"
class Test isclass KestroScriptBase {
  thread void Later(void) {
    Sleep(0.05);
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("n", 2);
    Log("later " + s.GetNamedTagAsInt("N"));
    s.SetNamedSoup("me", s);
  }
  void Main(void) {
    Log("main " + (GetSeconds() >= 0.0));
    Later();
  }
};
)");
    EXPECT_EQ(0, done.exitCode) << done.out;
    EXPECT_TRUE(Has(done.out, "ScriptLog> main true")) << done.out;
    EXPECT_TRUE(Has(done.out, "ScriptLog> later 2")) << done.out;
    EXPECT_TRUE(Has(done.out, "ScriptLog> Soup.SetNamedTag> sub-soup parameter contains this soup (file Soup.gs)"))
        << done.out;

    const ProcessResult failed = RunScript("failed.gs", R"(include "Kestro.gs"
class Test isclass KestroScriptBase {
  void Main(void) {
    KUIDList list = Constructors.NewKUIDList();
    list.GetIndexedKUID(0);
  }
};
)");
    EXPECT_EQ(1, failed.exitCode) << failed.out;
    EXPECT_TRUE(Has(failed.out, "ScriptLog> KUIDList.GetIndexedKUID> index out of range")) << failed.out;
}

}  // namespace
