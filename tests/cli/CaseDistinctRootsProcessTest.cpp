// Two data roots side by side whose folder names differ only in case: each
// is its own root, with its own stand-in daemon, and the tool run from one
// never reads or changes the other.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ToolProcess.h"
#include "support/DaemonTestSupport.h"
#include "support/StandInDaemon.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

std::string Loco(const char* name)
{
    return std::string("kuid <kuid:77:500>\nusername \"") + name +
           "\"\nkind \"traincar\"\ncategory-class \"TR\"\nkestro-build 3.1\n";
}

class CaseDistinctRootsProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(BuiltToolProgram())) << BuiltToolProgram();
        for (const std::string& root : {upper_, lower_})
            LayOutToolRoot(root);
        // The same asset in both, told apart by its name.
        temp_.Write("CaseA/local/loco/config.txt", Loco("Upper Loco"));
        temp_.Write("casea/local/loco/config.txt", Loco("Lower Loco"));
    }
    void TearDown() override
    {
        for (const std::string& root : {upper_, lower_}) {
            if (standin::Serving(root) != 0)
                RunTool(root, output_.Path(), {"closekaddaemon"});
            standin::Kill(root);
        }
    }

    TempFolder temp_;
    TempFolder output_;
    const std::string base_ = daemontest::RealPath(temp_.Path());
    const std::string upper_ = base_ + "/CaseA";
    const std::string lower_ = base_ + "/casea";
    daemontest::DiscoveryCleanup upperCleanup_{upper_};
    daemontest::DiscoveryCleanup lowerCleanup_{lower_};
};

TEST_F(CaseDistinctRootsProcessTest, EachRootHasItsOwnDaemonAndAssets)
{
    struct Step {
        const std::string& root;
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Step steps[] = {
        {upper_, {"status", "<kuid:77:500>"}, 0, "+ <kuid:77:500> : eIadlmf : TR : Upper Loco\n" + kClean},
        {lower_, {"status", "<kuid:77:500>"}, 0, "+ <kuid:77:500> : eIadlmf : TR : Lower Loco\n" + kClean},
        {upper_, {"delete", "<kuid:77:500>"}, 0, kClean},
        {lower_, {"status", "<kuid:77:500>"}, 0, "+ <kuid:77:500> : eIadlmf : TR : Lower Loco\n" + kClean},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.root + ": " + s.args[0]);
        ProcessResult r = RunTool(s.root, output_.Path(), s.args);
        EXPECT_EQ(r.exitCode, s.code);
        EXPECT_EQ(r.out, s.out);
    }

    const uint32_t upperDaemon = standin::Serving(upper_);
    const uint32_t lowerDaemon = standin::Serving(lower_);
    EXPECT_NE(upperDaemon, 0u);
    EXPECT_NE(lowerDaemon, 0u);
    EXPECT_NE(upperDaemon, lowerDaemon);

    // The delete moved the asset of its own root to its own trash.
    EXPECT_FALSE(fs::exists(upper_ + "/local/loco"));
    EXPECT_FALSE(fs::is_empty(upper_ + "/trash"));
    EXPECT_TRUE(fs::exists(lower_ + "/local/loco/config.txt"));
    EXPECT_TRUE(!fs::exists(lower_ + "/trash") || fs::is_empty(lower_ + "/trash"));
}

}  // namespace
