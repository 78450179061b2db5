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

// The compiler reads each source by name once, through the folders of the
// system scripts and the harness's own: a script named as one of those runs
// as itself, under a name of its own, and still has the one it is named
// after.
TEST_F(HarnessRunModeTest, AScriptNamedAsASystemOrHarnessScriptRunsItself)
{
    const std::string text = R"(include "Kestro.gs"
include "Probe.gs"
class Test isclass KestroScriptBase {
  thread void Fail(void) {
    Soup none;
    none.GetNamedTag("x");
  }
  void Main(void) {
    Image img = Constructors.NewImage();
    img.SetLineColor(1.0, 0.0, 0.0, 1.0);
    Soup s = Constructors.NewSoup();
    s.SetNamedTag("n", 3);
    Log("ran " + s.GetNamedTagAsInt("n") + " " + Probe.LineColor(img));
    Fail();
  }
};
)";
    struct Case {
        const char* name;
        const char* shownAs;  // the name its messages give
    };
    const Case cases[] = {
        {"mine.gs", "mine.gs"},   {"soup.gs", "soup-1.gs"},   {"asset.gs", "asset-1.gs"},
        {"Image.gs", "Image-1.gs"}, {"gs.gs", "gs-1.gs"},     {"probe.gs", "probe-1.gs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult run = RunScript(c.name, text);
        EXPECT_EQ(0, run.exitCode) << run.out;
        EXPECT_TRUE(Has(run.out, "ScriptLog> ran 3 -65536")) << run.out;
        EXPECT_TRUE(Has(run.out, std::string("line 6, file ") + c.shownAs)) << run.out;
        EXPECT_FALSE(Has(run.out, "no game class Test")) << run.out;
    }
}

}  // namespace
