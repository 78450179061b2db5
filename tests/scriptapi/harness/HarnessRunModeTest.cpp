// The harness's "run FILE.gs" as a process in a laid-out data root: the
// script log reaches standard output, and the exit code tells whether Main
// ran to its end.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "scriptapi/harness/HarnessTest.h"

namespace {

class HarnessRunModeTest : public HarnessTest {
protected:
    ProcessResult RunScript(const std::string& name, const std::string& text)
    {
        const std::string file = root_.Path() + "/" + name;
        std::ofstream(file) << text;
        return RunHarness({"run", file});
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
