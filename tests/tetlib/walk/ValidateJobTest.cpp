// The validate job: the asset folder it settles on, the config it finds,
// when it compiles the asset's scripts, the main thread it runs on, and the
// shipped data against the sample data root.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/threads/JobQueue.h"
#include "core/process/ProcessState.h"
#include "tetlib/steps/ValidateAssetOnMainThread.h"
#include "tetlib/steps/AssetScriptCompile.h"
#include "tetlib/walk/WalkTestSupport.h"

namespace {

using tetlibtest::Thing;
using Lines = std::vector<std::string>;
using TETLib::DataManager;

// What the script compile was asked, and what it answers.
struct CompileCalls {
    Lines calls;
    bool answer = true;
    bool onMainThread = false;
};
CompileCalls g_compile;

bool RecordCompile(const Nyx::PString& folderName, const Nyx::File::Path& folder, ResultsLog&)
{
    g_compile.calls.push_back(folderName.Str() + " " + folder.Str());
    g_compile.onMainThread = IsMainThread();
    return g_compile.answer;
}

class ValidateJobTest : public tetlibtest::WalkFixture {
protected:
    void SetUp() override
    {
        WalkFixture::SetUp();
        g_compile = {};
        TETLib::SetAssetScriptCompile(&RecordCompile);
    }
    void TearDown() override
    {
        TETLib::SetAssetScriptCompile(nullptr);
        WalkFixture::TearDown();
    }
};

TEST_F(ValidateJobTest, TheJobSettlesOnOneAbsoluteFolderAndItsConfig)
{
    const std::string root = folder_.Path();
    const std::string clean = Thing("");
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        const char* folderName;
        std::string path;
        bool valid;
        Lines results;
        Lines compiled;
        const char* configName;
    };
    const Case cases[] = {
        {"absolute, no name", {{"local/a/config.txt", clean}}, "", root + "/local/a", true, {},
         {"local " + root + "/local/a/"}, "config.txt"},
        {"relative to the root, no name", {{"Local/a/config.txt", clean}}, "", "Local/./b/../a/", true, {},
         {"local " + root + "/Local/a/"}, "config.txt"},
        {"relative to the given data folder", {{"editing/a/config.txt", clean}}, "editing", "a", true, {},
         {"editing " + root + "/editing/a/"}, "config.txt"},
        {"absolute with a given name", {{"local/a/config.txt", clean}}, "other", root + "/local/a/", true, {},
         {"other " + root + "/local/a/"}, "config.txt"},
        {"the binary config first", {{"local/a/config.txt", clean}, {"local/a/config.chump", ""}}, "local", "a",
         false, {"3 The config has no 'kind' tag."}, {}, "config.chump"},
        {"no config", {}, "", root + "/local/a/", false, {"3 Unable to read the config file in 'local/a/'."}, {},
         ""},
        {"an archived data folder", {{"packed.ja", "x"}, {"packed/a/config.txt", "kind \"frob\"\n"}}, "packed",
         "a", true, {}, {}, ""},
        {"warnings only", {{"local/a/config.txt", "kind \"thing\"\nusername \"u\"\n"}}, "", root + "/local/a",
         true, {"2 The required tag 'kuid' is missing."}, {"local " + root + "/local/a/"}, "config.txt"},
        {"a template error", {{"local/a/config.txt", Thing("frob 1\n")}}, "local", "a", false,
         {"3 The container 'frob' is not allowed in 'thing'."}, {}, "config.txt"},
        {"a config named in capitals", {{"local/a/CONFIG.TXT", clean}}, "", root + "/local/a", true, {},
         {"local " + root + "/local/a/"}, "config.txt"},
        {"texture markers in the folder and below",
         {{"local/a/config.txt", clean}, {"local/a/x.convert-tex.txt", ""}, {"local/a/sub/y.convert-tex.txt", ""}},
         "local", "a", false,
         {"3 The texture 'sub/y.convert-tex.txt' cannot be loaded.", "3 The texture 'x.convert-tex.txt' cannot be loaded."},
         {}, "config.txt"},
        {"outside the content root", {}, "", "/elsewhere/a/", false,
         {"3 The asset folder '/elsewhere/a/' does not lie below the content root."}, {}, ""},
        {"out of the content root", {}, "", "local/../../a", false,
         {"3 The asset folder 'local/../../a' does not lie below the content root."}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* folder : {"local", "Local", "editing", "packed"})
            std::filesystem::remove_all(folder_ / folder);
        std::filesystem::remove(folder_ / "packed.ja");
        for (const auto& [file, text] : c.files)
            folder_.Write(file, text);
        g_compile.calls.clear();
        DataManager::Instance().configFileName = Nyx::PString();
        ResultsLog log;
        EXPECT_EQ(TETLib::RunValidateAssetJob(Nyx::PString(c.folderName), Nyx::File::Path(c.path), log), c.valid);
        EXPECT_EQ(tetlibtest::ResultLines(log), c.results);
        EXPECT_EQ(g_compile.calls, c.compiled);
        EXPECT_EQ(DataManager::Instance().configFileName.Str(), c.configName);
        if (!c.compiled.empty()) {
            EXPECT_EQ(DataManager::Instance().outsideEditing, c.compiled[0].rfind("editing ", 0) != 0);
        }
        EXPECT_EQ(TETLib::Container::LiveCount(), 0);
        EXPECT_EQ(TETLib::Tag::LiveCount(), 0);
        // Nothing of the folder is kept for a later check.
        EXPECT_TRUE(DataManager::Instance().listedNames.empty());
    }

    // The script compile's verdict is the job's.
    g_compile.answer = false;
    EXPECT_EQ(Validate(Thing("")), Lines{});
    EXPECT_EQ(g_compile.calls.size(), 1u);
    bool valid = true;
    Validate(Thing(""), &valid);
    EXPECT_FALSE(valid);
}

TEST_F(ValidateJobTest, AnotherThreadsValidationRunsOnTheMainThreadWhileItWaits)
{
    SetMainThreadId();
    folder_.Write("local/a/config.txt", Thing(""));
    std::atomic<int> outcome{-1};
    ResultsLog log;
    std::thread asker([&]() {
        outcome = ValidateAssetOnMainThread(Nyx::PString(), Nyx::File::Path(folder_ / "local/a"), log) ? 1 : 0;
    });
    while (outcome.load() < 0) {
        JobQueue::Instance().WaitEvent(50);
        JobQueue::Instance().Process(0);
    }
    asker.join();
    EXPECT_EQ(outcome.load(), 1);
    EXPECT_TRUE(g_compile.onMainThread);
    // The command host's name for it is the same function.
    EXPECT_EQ(&MakeValidateAssetTaskCallback, &ValidateAssetOnMainThread);
    EXPECT_TRUE(MakeValidateAssetTaskCallback(Nyx::PString("local"), Nyx::File::Path("a"), log));
}

// The shipped data against the sample data root: no findings at all.
class SampleAssetsTest : public tetlibtest::ValidationDataFixture {};

TEST_F(SampleAssetsTest, EverySampleAssetValidatesWithoutFindings)
{
    namespace fs = std::filesystem;
    size_t assets = 0;
    for (const char* data : {"local", "editing"})
        fs::copy(tetlibtest::ShippedSample() + "/" + data, folder_ / data, fs::copy_options::recursive);
    SetContentRootPath(Nyx::File::Path(folder_.Path()));
    Manager();
    for (const char* data : {"local", "editing"}) {
        for (const auto& asset : fs::directory_iterator(folder_ / data)) {
            SCOPED_TRACE(asset.path().string());
            ResultsLog log;
            EXPECT_TRUE(TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(asset.path().string()), log));
            EXPECT_EQ(tetlibtest::ResultLines(log), Lines{});
            ++assets;
        }
    }
    EXPECT_EQ(assets, 6u);
    SetContentRootPath(Nyx::File::Path());
}

// What the shipped data must take beyond the sample assets: a bridge of
// every height (each range of heights has a kind of its own), scenery by
// the track (which has one too), and the tags that name an asset's scripts,
// which then reach the script compile.
TEST_F(SampleAssetsTest, TheShippedDataTakesBridgesOfEveryHeightAndAssetsWithScripts)
{
    SetContentRootPath(Nyx::File::Path(folder_.Path()));
    Manager();
    g_compile = {};
    TETLib::SetAssetScriptCompile(&RecordCompile);
    const std::string head = "kuid <kuid:400001:170>\nusername \"x\"\ncategory-class \"BD\"\nkestro-build 3.2\n";
    struct Case {
        const char* name;
        std::string body;
    };
    const Case cases[] = {
        {"bridge far below", "kind \"bridge\"\nheight -12.5\n"},
        {"bridge just below", "kind \"bridge\"\nheight -0.002\n"},
        {"double track, lowest", "kind \"bridge\"\nheight -0.001\n"},
        {"double track, level", "kind \"bridge\"\nheight 0\n"},
        {"double track, no height", "kind \"bridge\"\n"},
        {"double track, highest", "kind \"bridge\"\nheight 0.001\n"},
        {"tunnel just above", "kind \"bridge\"\nheight 0.002\n"},
        {"tunnel far above", "kind \"Bridge\"\nheight 40\n"},
        {"scenery by the track", "kind \"scenery\"\ntrackside 2.5\n"},
        {"a script", "kind \"buildable\"\nscript \"shed.gs\"\nclass \"Shed\"\n"
                     "script-include-table\n{\n  0 <kuid:400001:105>\n}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        folder_.Write("local/a/config.txt", head + c.body);
        g_compile.calls.clear();
        ResultsLog log;
        EXPECT_TRUE(TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(folder_ / "local/a"), log));
        EXPECT_EQ(tetlibtest::ResultLines(log), Lines{});
        EXPECT_EQ(g_compile.calls.size(), 1u);
    }
    TETLib::SetAssetScriptCompile(nullptr);
    SetContentRootPath(Nyx::File::Path());
}

}  // namespace
