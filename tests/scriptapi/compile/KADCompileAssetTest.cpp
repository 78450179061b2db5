#include "scriptapi/compile/KADCompileAsset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "kad/ScriptedDaemon.h"
#include "nyx/files/File.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/specs/SpecTestSupport.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

std::string Texts(ResultsLog& log)
{
    std::string texts;
    for (ResultsLog::Result* r : log.Results())
        texts += std::string(r->text.View()) + "\n";
    return texts;
}

// The compile road in-process: the built system libraries and scripts
// mounted, a content root of its own, a registry and a daemon that knows
// nothing beyond the config it is asked for.
class KADCompileAssetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetContentRootPath(Nyx::File::Path(root_.Path()));
        fs::create_directories(root_.Path() + "/cache/libraries");
        Nyx::File::Subst::Add(Nyx::PString("scripts"), Nyx::File::Path((BuildFolder() / "scripts").string() + "/"));
        Nyx::File::Subst::Add(Nyx::PString("libraries"),
                              Nyx::File::Path((BuildFolder() / "libraries").string() + "/"));
        KUIDResolutionCache::Instance().RequestReset();
    }
    void TearDown() override
    {
        Nyx::File::Subst::Remove(Nyx::PString("scripts"));
        Nyx::File::Subst::Remove(Nyx::PString("libraries"));
        SetContentRootPath(Nyx::File::Path());
    }

    std::string Asset(const std::string& name, const std::string& config, const std::string& script)
    {
        const std::string folder = root_.Path() + "/" + name;
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt") << config;
        if (!script.empty())
            std::ofstream(folder + "/thing.gs") << script;
        return folder;
    }

    // Answers request 20 with the config of the asset in the folder.
    static ScriptedDaemon::Script ConfigOf(const std::string& folder)
    {
        return [folder](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (number != 20)
                return std::string();
            ChunkRef config;
            LoadConfigFile(config, (folder + "/").c_str(), "config.txt");
            TBuffer out;
            WriteBinaryConfig(out, config);
            Nyx::DynamicBuffer* b = out.GetBuffer();
            return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
        };
    }

    TempFolder root_;
    SpecRegistry registry_;
};

TEST_F(KADCompileAssetTest, EachStepsFailureIsReportedAndNoSpecOrFactoryIsLeftBehind)
{
    const std::string good = Asset("good", "kuid <kuid:400001:880>\nkind \"scenery\"\nscript \"thing\"\nclass \"Thing\"\n",
                                   "include \"Kestro.gs\"\nclass Thing isclass KestroGameObject\n{\n};\n");
    const std::string broken = Asset("broken", "kuid <kuid:400001:881>\nscript \"thing\"\nclass \"Thing\"\n",
                                     "class Thing isclass\n");
    const std::string noKUID = Asset("nokuid", "kind \"scenery\"\n", "");
    struct Case {
        const char* name;
        std::string folder;
        bool compiled;
        const char* texts;
    } cases[] = {
        {"compiles", good, true, ""},
        {"no config", root_.Path() + "/missing", false, "KADCompileAsset unable to load asset config\n"},
        {"no KUID", noKUID, false, "KADCompileAsset unable to determine asset KUID\n"},
        {"syntax error", broken, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDaemon daemon(ConfigOf(c.folder));
        ResultsLog log;
        EXPECT_EQ(KADCompileAsset(Nyx::PString(), Nyx::File::Path(c.folder), log), c.compiled);
        if (c.texts)
            EXPECT_EQ(Texts(log), c.texts);
        else
            EXPECT_NE(Texts(log).find("Failed to compile asset\n"), std::string::npos) << Texts(log);
        EXPECT_EQ(registry_.DefaultFactory(), nullptr);
        CaughtLog leaks;
        registry_.PurgeAndReportLeaks();
        EXPECT_EQ(leaks.Text().find("Leaked specs:"), std::string::npos) << leaks.Text();
    }
}

// An asset's scripts are read inside its folder: a script that is a link
// out of it is not read, and the compile fails.
TEST_F(KADCompileAssetTest, AScriptLinkedOutOfTheFolderIsNotRead)
{
    const std::string script = "include \"Kestro.gs\"\nclass Thing isclass KestroGameObject\n{\n};\n";
    root_.Write("outside/thing.gs", script);
    const std::string folder =
        Asset("linked", "kuid <kuid:400001:882>\nkind \"scenery\"\nscript \"thing\"\nclass \"Thing\"\n", "");
    fs::create_symlink(root_ / "outside/thing.gs", folder + "/thing.gs");
    ScriptedDaemon daemon(ConfigOf(folder));
    ResultsLog log;
    EXPECT_FALSE(KADCompileAsset(Nyx::PString(), Nyx::File::Path(folder), log));
    EXPECT_NE(Texts(log).find("Unable to read script source file '" + folder + "/thing.gs'\n"), std::string::npos)
        << Texts(log);
    registry_.PurgeAndReportLeaks();
}

}  // namespace
