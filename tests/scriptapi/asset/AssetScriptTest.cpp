// The Asset natives and the asset searches of the script context against
// the stand-in daemon served in-process, through a case script; and the
// resolution map saving the daemon's second answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kaddaemon/ClientTestSupport.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "kad/requests/KADRequests.h"
#include "scriptapi-harness/HarnessRun.h"
#include "scriptapi-harness/ProbeNatives.h"
#include "scriptapi/asset/GSOAsset.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/specs/SpecFactory.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/support/ScriptApiMachine.h"
#include "scriptapi/support/ScriptExpectations.h"
#include "support/ImageFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace clienttest;
using namespace scriptapitest;

const KUID kMain(500001, 1, 0);
const KUID kOther(500001, 2, 0);
const KUID kPlain(500001, 3, 0);

std::string Text(const KUID& kuid) { return kuid.ToString().c_str(); }

void WriteFile(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class AssetScriptTest : public StandInStoreClient {
protected:
    AssetScriptTest()
    {
        const std::string local = root_ + "/local/";
        WriteFile(local + "main/config.txt",
                  "kuid " + Text(kMain) + "\nusername \"Main\"\nkind \"scenery\"\nkestro-build 3.5\n"
                  "category-era \"1920s\"\ncategory-region \"Moorland\"\ndescription \"Made for tests.\"\n"
                  "info-url \"http://example.invalid/main\"\n"
                  "kuid-table\n{\n  a " + Text(kOther) + "\n  b " + Text(kPlain) + "\n}\n"
                  "string-table\n{\n  greeting \"Hello\"\n}\n");
        WriteFile(local + "main/pic.png", imagefiles::Png(2, 1, {0xFFFF0000u, 0xFF00FF00u}));
        WriteFile(local + "main/sub/pic.tga", imagefiles::Tga(1, 2, {0xFF0000FFu, 0xFFFF0000u}));
        WriteFile(local + "other/config.txt", "kuid " + Text(kOther) +
                                                  "\nusername \"Other\"\nkind \"scenery\"\nkestro-build 3.49\n"
                                                  "parent " + Text(kMain) + "\n");
        WriteFile(local + "other/pic.png", imagefiles::Png(1, 1, {0xFFFFFFFFu}));
        WriteFile(local + "plain/config.txt", "kuid " + Text(kPlain) + "\nusername \"Plain\"\nkind \"scenery\"\n");
        // Links out of the main asset's folder, whose names alone look fine.
        fs::create_directory_symlink(local + "other", local + "main/ext");
        fs::create_symlink("../other/pic.png", local + "main/away.png");
        // The daemon's name for the assets' author, their creator.
        WriteFile(root_ + "/kaddaemon-state.txt", "authors\n{\n  0\n  {\n    id 500001\n    name \"Test author\"\n  }\n}\n");
        OpenStore();
    }

    // The client makes the script API's description registry, whose default
    // factory makes the assets' descriptions.
    void SetUp() override
    {
        SpecRegistryHook::SetFactory([]() -> std::unique_ptr<SpecRegistryHook> { return std::make_unique<SpecRegistry>(); });
        StandInStoreClient::SetUp();
        ASSERT_NE(nullptr, SpecRegistry::Instance());
        SpecRegistry::Instance()->SetDefaultFactory(&factory_);
    }
    void TearDown() override
    {
        if (SpecRegistry* registry = SpecRegistry::Instance())
            registry->SetDefaultFactory(nullptr);
        SpecRegistryHook::SetFactory(nullptr);
    }

    KADScript_KestroBaseSpecFactory factory_;
};

TEST_F(AssetScriptTest, CasesScriptLogMatches)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    RegisterProbeNatives(shared.machine);
    const std::string file = CaseScripts() + "asset_cases.gs";
    LogCapture log;
    std::vector<std::string> compile;
    const HarnessRun::Outcome outcome = HarnessRun::Run(shared.machine, file, ScriptFolders(), shared.folder,
                                                        [&compile](const std::string& line) { compile.push_back(line); });
    ASSERT_TRUE(outcome.compiled) << (compile.empty() ? outcome.reason : compile.front());
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    // A text of several lines is compared line by line.
    std::vector<std::string> got;
    for (const std::string& entry : NativeLines(log.lines)) {
        std::istringstream lines(entry);
        for (std::string line; std::getline(lines, line);)
            got.push_back(line);
    }
    const std::vector<std::string> expected = ExpectedLog(file);
    for (size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        ASSERT_LT(i, got.size()) << "missing: " << expected[i];
        ASSERT_LT(i, expected.size()) << "unexpected: " << got[i];
        EXPECT_EQ(expected[i], got[i]) << "line " << i;
    }
    // The script's objects are gone with its context.
    EXPECT_EQ(0u, GSOAsset::Count());
}

// One object per context: a second context gets its own; a KUID resolved
// to another is asked of the daemon once.
TEST_F(AssetScriptTest, ObjectsPerContextAndResolutionsRemembered)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    KestroScriptContext first(&shared.machine);
    KestroScriptContext second(&shared.machine);
    GSOAsset* a = GSOAsset::GetAssetObject(&first, kMain);
    GSOAsset* b = GSOAsset::GetAssetObject(&first, kMain);
    GSOAsset* c = GSOAsset::GetAssetObject(&second, kMain);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(nullptr, GSOAsset::GetAssetObject(&first, KUID::Null));

    // Version 9 is not installed: the stand-in resolves it to version 0.
    const KUID older(500001, 2, 9);
    const size_t resolutions = GSOAsset::ResolutionCount();
    const size_t before = CountLines(TracePath(), "in request 26 ");
    GSOAsset* d = GSOAsset::GetAssetObject(&first, older);
    const size_t asked = CountLines(TracePath(), "in request 26 ");
    GSOAsset* e = GSOAsset::GetAssetObject(&first, older);
    ASSERT_NE(nullptr, d);
    EXPECT_EQ(d, e);
    EXPECT_EQ(0, d->Kuid().version);
    EXPECT_EQ(resolutions + 1, GSOAsset::ResolutionCount());
    EXPECT_EQ(before + 1, asked);
    EXPECT_EQ(asked, CountLines(TracePath(), "in request 26 "));

    for (GSOAsset* object : {a, b, c, d, e})
        GSRuntime::ReleasePart(object->GetInstance());
    EXPECT_EQ(0u, GSOAsset::Count());
}

TEST(AssetImageNameTest, NamesLeavingTheFolderAreRefused)
{
    for (const char* good : {"pic.png", "sub/pic.png", "sub\\pic.png", "a..b.png", "..x/y.png", "./pic.png"})
        EXPECT_TRUE(GSOAsset::ImageNameAllowed(good)) << good;
    for (const char* bad : {"../pic.png", "..", "sub/../../x.png", "/etc/x.png", "\\x.png", "sub\\..\\x.png",
                            "sub/.."})
        EXPECT_FALSE(GSOAsset::ImageNameAllowed(bad)) << bad;
}

}  // namespace
