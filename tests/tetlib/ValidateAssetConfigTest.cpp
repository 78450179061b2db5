// The config step and the validate job over asset folders laid out under a
// temporary content root, with the shipped validation data.
#include "tetlib/steps/ValidateAssetConfig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "TETLibTestSupport.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "tetlib/container/Container.h"
#include "tetlib/steps/ValidateAssetJob.h"
#include "tetlib/steps/ValidateAssetTask.h"

namespace {

using TETLib::DataManager;
using tetlibtest::ResultLines;

// A track config the shipped definitions find nothing wrong with.
const char* const kCleanTrack = "kuid <kuid:400001:104>\nusername \"Track\"\nkind \"track\"\n"
                                "category-class \"TR\"\nkestro-build 3.0\n";

// A container whose check reports a fixed set of findings and answers as
// told.
class ReportingContainer : public TETLib::Container {
public:
    explicit ReportingContainer(bool answer) : answer_(answer) {}
    bool Check(const ChunkRef&) override
    {
        TETLib::ErrorHandler& h = *TETLib::ErrorHandler::Instance();
        h.ReportWarning(Nyx::PString("a warning of the check"), Serial());
        h.ReportMessage(Nyx::PString("a message stays in the handler"));
        h.ReportError(Nyx::PString("an error of the check"));
        ++checks;
        return answer_;
    }
    int checks = 0;

private:
    bool answer_;
};

class ValidateAssetConfigTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        SetContentRootPath(Nyx::File::Path(folder_.Path()));
        Manager();
    }
    void TearDown() override
    {
        ValidationDataFixture::TearDown();
        SetContentRootPath(Nyx::File::Path());
    }
    Nyx::File::Path Config(const std::string& text)
    {
        folder_.Write("local/asset/config.txt", text);
        return Nyx::File::Path("local/asset/config.txt");
    }
};

TEST_F(ValidateAssetConfigTest, FutureBuildsAndObsoleteKindsAreReportedWithoutTheTemplateCheck)
{
    const std::string kFuture = "3 This asset was made for a later build than this tool can check.";
    const std::string kWater = "2 The kind 'water' is obsolete; the asset is not checked further.";
    const std::string kTintery = "2 The kind 'tintery-skin' is obsolete; the asset is not checked further.";
    const std::vector<std::string> kChecked = {"2 a warning of the check", "3 an error of the check"};
    struct Case {
        const char* config;
        bool result;
        std::vector<std::string> results;
        bool checked;
    };
    const Case cases[] = {
        {"kestro-build 3.2\nkind \"traincar\"\n", false, kChecked, true},
        {"kestro-build 3.21\nkind \"traincar\"\n", false, {kFuture}, false},
        {"kestro-build 4\nkind \"water\"\n", false, {kFuture}, false},
        {"kestro-build 1000000\n", false, {kFuture}, false},
        {"kind \"traincar\"\n", false, kChecked, true},
        {"kestro-build 3.2\nkind \"water\"\n", true, {kWater}, false},
        {"kestro-build 2.4\nkind \"WATER\"\n", true, {kWater}, false},
        {"kind \"Tintery-Skin\"\n", true, {kTintery}, false},
        {"kind \"watery\"\n", false, kChecked, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        ResultsLog log;
        ReportingContainer container(false);
        EXPECT_EQ(TETLib::ValidateAssetConfig(Nyx::PString("local"), Config(c.config), log, &container), c.result);
        EXPECT_EQ(ResultLines(log), c.results);
        EXPECT_EQ(container.checks, c.checked ? 1 : 0);
    }
}

TEST(BuildNumberTest, BuildsCompareAsBuildTimesAHundredSaturating)
{
    const std::pair<float, int32_t> cases[] = {{3.2f, 320},  {3.21f, 321},      {1.3f, 130},        {2.89f, 289},
                                               {-1.5f, -149}, {1e30f, INT32_MAX}, {-1e30f, INT32_MIN}, {NAN, 0}};
    for (const auto& [build, number] : cases)
        EXPECT_EQ(TETLib::BuildNumber(build), number) << build;
}

TEST_F(ValidateAssetConfigTest, WithoutAContainerTheStepMakesItsOwnAndReturnsItsAnswer)
{
    ResultsLog log;
    EXPECT_TRUE(TETLib::ValidateAssetConfig(Nyx::PString(), Config(kCleanTrack), log, nullptr));
    EXPECT_TRUE(ResultLines(log).empty());
    DataManager& manager = DataManager::Instance();
    EXPECT_TRUE(manager.AreDefinitionsLoaded());
    EXPECT_EQ(manager.GetAssetFolderName().Str(), "local");
    EXPECT_EQ(manager.GetAssetFolder().Str(), "local/asset/");
    // A config that does not load is checked as an empty one.
    EXPECT_FALSE(TETLib::ValidateAssetConfig(Nyx::PString("local"), Nyx::File::Path("local/none/config.txt"), log,
                                             nullptr));
    EXPECT_EQ(ResultLines(log), std::vector<std::string>{"3 The config has no 'kind' tag."});
}

TEST_F(ValidateAssetConfigTest, TheJobFindsTheConfigAndReportsWhenThereIsNone)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        const char* folderName;
        std::string assetPath;
        bool result;
        std::vector<std::string> results;
        const char* configName;
    };
    const std::string root = folder_.Path();
    const Case cases[] = {
        {"text config", {{"local/a/config.txt", kCleanTrack}}, "", root + "/local/a/", true, {}, "config.txt"},
        {"binary config first",
         {{"local/a/config.txt", "kind \"water\"\n"}, {"local/a/config.chump", ""}},
         "local",
         "a/",
         false,
         {"3 The config has no 'kind' tag."},  // the empty binary one, not the water
         "config.chump"},
        {"no config", {}, "", root + "/local/a/", false, {"3 Unable to read the config file in 'local/a/'."}, ""},
        {"future build", {{"editing/a/config.txt", "kestro-build 9\n"}}, "editing", "a", false,
         {"3 This asset was made for a later build than this tool can check."}, "config.txt"},
        {"archived data folder", {{"packed.ja", "x"}}, "packed", "a/", true, {}, ""},
        {"outside the content root", {}, "", "/elsewhere/a/", false,
         {"3 The asset folder '/elsewhere/a/' does not lie below the content root."}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder_ / "local");
        std::filesystem::remove_all(folder_ / "editing");
        for (const auto& [file, text] : c.files)
            folder_.Write(file, text);
        DataManager::Instance().configFileName = Nyx::PString();
        ResultsLog log;
        EXPECT_EQ(TETLib::RunValidateAssetJob(Nyx::PString(c.folderName), Nyx::File::Path(c.assetPath), log), c.result);
        EXPECT_EQ(ResultLines(log), c.results);
        EXPECT_EQ(DataManager::Instance().configFileName.Str(), c.configName);
    }
    EXPECT_FALSE(DataManager::Instance().outsideEditing);  // the last asset with a folder was in "editing"
}

TEST_F(ValidateAssetConfigTest, TheTaskRecordsTheJobsOutcome)
{
    const Nyx::PString name("local");
    const Nyx::File::Path path("wagon/");
    for (const auto& [build, succeeded] : {std::pair{"3.5", false}, std::pair{"3.2", true}}) {
        folder_.Write("local/wagon/config.txt", std::string("kuid <kuid:1:1>\nusername \"u\"\nkind \"traincar\"\n"
                                                            "category-class \"VE\"\nkestro-build ")
                                                    + build + "\n");
        ResultsLog log;
        TETLib::ValidateAssetTask task{&name, &path, &log, !succeeded};
        task.Run(nullptr);
        EXPECT_EQ(task.succeeded, succeeded) << build;
        EXPECT_TRUE(DataManager::Instance().outsideEditing);
    }
    TETLib::ValidateAssetTask empty{nullptr, nullptr, nullptr, true};
    empty.Run(nullptr);
    EXPECT_FALSE(empty.succeeded);
}

}  // namespace
