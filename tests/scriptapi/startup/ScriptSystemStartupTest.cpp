#include "scriptapi/startup/ScriptSystemStartup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gs/runtime/registry/GSMachine.h"
#include "nyx/files/File.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

fs::path BuiltLibraries() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "libraries"; }

int g_registered = 0;
void CountingTable(GSMachine&) { ++g_registered; }
const NativeTable kCountingTables[] = {{"counting", &CountingTable}};

// A "libraries" folder of chosen system libraries, mounted for the test,
// and a machine of its own.
class ScriptSystemStartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_registered = 0;
        ClearSystemClasses();
        machine_.RegisterBuiltinNatives();
        Nyx::File::Subst::Add(Nyx::PString("libraries"), Nyx::File::Path(folder_.Path() + "/"));
    }
    void TearDown() override
    {
        Nyx::File::Subst::Remove(Nyx::PString("libraries"));
        ClearSystemClasses();
    }

    void CopyLibraries(const std::vector<std::string>& leftOut = {})
    {
        ASSERT_TRUE(fs::exists(BuiltLibraries() / "gs.gsl")) << BuiltLibraries();
        for (const fs::directory_entry& entry : fs::directory_iterator(BuiltLibraries())) {
            const std::string name = entry.path().filename().string();
            if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end())
                fs::copy_file(entry.path(), fs::path(folder_.Path()) / name);
        }
    }

    bool Run(ScriptSystemStartup& startup) { return startup.Run(); }

    TempFolder folder_;
    GSMachine machine_;
};

TEST_F(ScriptSystemStartupTest, ASecondRunAnswersTrueAndRegistersNothingAgain)
{
    CopyLibraries();
    ScriptSystemStartup startup(machine_, kCountingTables);
    EXPECT_TRUE(startup.Run());
    EXPECT_TRUE(startup.Run());
    EXPECT_EQ(g_registered, 1);
    for (uint32_t i = 0; i < static_cast<uint32_t>(SystemClass::kCount); ++i)
        EXPECT_NE(GetSystemClass(static_cast<SystemClass>(i)), nullptr) << i;
}

TEST_F(ScriptSystemStartupTest, AMissingSoupLibraryStopsAfterTheKUIDClassAndTheFailureIsRemembered)
{
    CopyLibraries({"Soup.gsl"});
    ScriptSystemStartup startup(machine_, kCountingTables);
    EXPECT_FALSE(startup.Run());
    EXPECT_NE(GetSystemClass(SystemClass::kKUID), nullptr);
    EXPECT_EQ(GetSystemClass(SystemClass::kSoup), nullptr);
    EXPECT_EQ(GetSystemClass(SystemClass::kAsset), nullptr);

    // Even with the library back, a failed start stays failed: its class
    // slots are not all filled.
    fs::copy_file(BuiltLibraries() / "Soup.gsl", fs::path(folder_.Path()) / "Soup.gsl");
    EXPECT_FALSE(startup.Run());
    EXPECT_EQ(g_registered, 1);
}

TEST_F(ScriptSystemStartupTest, ASystemLibraryWithoutGameObjectFailsBeforeAnyNativeTable)
{
    // A library of another name, the script runner's, stands in for gs.gsl.
    fs::copy_file(BuiltLibraries().parent_path() / "gsrun/test.gsl", fs::path(folder_.Path()) / "gs.gsl");
    ScriptSystemStartup startup(machine_, kCountingTables);
    EXPECT_FALSE(startup.Run());
    EXPECT_EQ(g_registered, 0);
    EXPECT_EQ(GetSystemClass(SystemClass::kGameObject), nullptr);
}

TEST_F(ScriptSystemStartupTest, ClassNamesAreComparedExactly)
{
    CopyLibraries();
    ASSERT_TRUE(machine_.AddLibraryFolder(Nyx::PString("libraries")));
    GSRuntime::GSClass* slot = nullptr;
    EXPECT_FALSE(LoadSystemClass(machine_, "GS.GSL", "gameobject", slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(LoadSystemClass(machine_, "GS.GSL", "GameObject", slot));
    EXPECT_NE(slot, nullptr);
}

}  // namespace
