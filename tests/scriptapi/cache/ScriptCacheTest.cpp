#include "scriptapi/cache/KestroBaseSpec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "config/formats/BinaryConfig.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/requests/AssetRecord.h"
#include "core/compress/Crc32.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/store/ScriptFileStore.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "scriptapi/cache/ScriptCompileState.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/support/ScriptAssetFiles.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const KUID kAsset(400001, 77, 0);

using scriptapitest::BuiltScripts;
using scriptapitest::ConfigBytes;

std::string Record(const std::string& category)
{
    AssetRecord record;
    record.known = true;
    record.kuid = kAsset;
    record.categoryText = Nyx::String(category);
    TBuffer out;
    WriteAssetInfo(out, record);
    Nyx::DynamicBuffer* b = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

// An asset folder under a content root of its own, the system scripts
// mounted as "scripts", and a daemon that knows the asset's config and
// category.
class ScriptCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetContentRootPath(Nyx::File::Path(root_.Path()));
        fs::create_directories(root_.Path() + "/cache/libraries");
        fs::create_directories(Folder());
        Nyx::File::Subst::Add(Nyx::PString("scripts"), Nyx::File::Path(BuiltScripts().string() + "/"));
        // The system libraries the compiled scripts link against.
        const std::string libraries = BuiltScripts().parent_path().string() + "/libraries/";
        Nyx::File::Subst::Add(Nyx::PString("libraries"), Nyx::File::Path(libraries));
        GSMachine::Get().AddLibraryFolder(Nyx::PString("libraries"));
        KUIDResolutionCache::Instance().RequestReset();
        config_ = ChunkRef();
        TDBContainerTag::SetKUID(config_, Nyx::PString("kuid"), kAsset);
        TDBContainerTag::SetString(config_, Nyx::PString("kind"), Nyx::PString("scenery"));
        TDBContainerTag::SetFloat(config_, Nyx::PString("kestro-build"), 3.5f);
        TDBContainerTag::SetString(config_, Nyx::PString("script"), Nyx::PString("A"));
        TDBContainerTag::SetString(config_, Nyx::PString("class"), Nyx::PString("Thing"));
    }
    void TearDown() override
    {
        Nyx::File::Subst::Remove(Nyx::PString("scripts"));
        Nyx::File::Subst::Remove(Nyx::PString("libraries"));
        SetContentRootPath(Nyx::File::Path());
    }

    std::string Folder() const { return root_.Path() + "/asset"; }
    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(Folder() + "/" + name, std::ios::binary) << text;
    }
    std::unique_ptr<KestroBaseSpec> MakeSpec()
    {
        return std::make_unique<KestroBaseSpec>(kAsset, Nyx::PString(), Nyx::String(root_.Path()),
                                                Nyx::String("asset"), config_);
    }
    bool Cache(KestroBaseSpec& spec, ResultsLog& log)
    {
        return spec.CacheScripts(Nyx::PString(), Nyx::File::Path(Folder()), Nyx::File::Path(Folder() + "/A.gs"), log);
    }
    // The daemon of the asset: its config and its category.
    ScriptedDaemon::Script Daemon(const std::string& category)
    {
        const std::string config = ConfigBytes(config_);
        const std::string record = Record(category);
        return [config, record](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (number == 20)
                return config;
            if (number == 21)
                return record;
            return std::string();
        };
    }
    std::string CacheFile(const std::string& name) const { return root_.Path() + "/cache/libraries/" + name; }

    TempFolder root_;
    ChunkRef config_;
};

std::string ExpectedCacheName(const std::string& text, const char* plainName)
{
    char name[32];
    std::snprintf(name, sizeof name, "%08x%08x.gsl", Crc32(text.data(), static_cast<uint32_t>(text.size())),
                  Crc32LowerCase(plainName));
    return name;
}

// The machine keeps a library by its id for the whole process, where it
// was first found: every test compiles a text of its own.
std::string ThingSource(const char* base = "Trackside")
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("// ") + test->name() + "\ninclude \"Kestro.gs\"\nclass Thing isclass " + base + "\n{\n};\n";
}

TEST_F(ScriptCacheTest, TheCacheFileIsNamedByTheCompilersIdForPlainAndScrambledSources)
{
    ScriptedDaemon daemon(Daemon(""));
    const std::string name = ExpectedCacheName(ThingSource(), "a.gs");
    for (const char* file : {"A.GS", "A.GSE"}) {
        SCOPED_TRACE(file);
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        fs::remove(CacheFile(name));
        Write("A.GS", ThingSource());
        if (std::string(file) == "A.GSE") {
            ScriptFileStore store;
            ASSERT_TRUE(store.Open(Nyx::PString(), Nyx::File::Path(Folder() + "/A.GS")));
            ASSERT_TRUE(store.Save(Nyx::PString(), Nyx::File::Path(Folder() + "/A.GSE")));
            fs::remove(Folder() + "/A.GS");
        }
        auto spec = MakeSpec();
        ResultsLog log;
        EXPECT_TRUE(Cache(*spec, log));
        ASSERT_TRUE(fs::exists(CacheFile(name)));
        // The header's id words are what the name says.
        std::ifstream in(CacheFile(name), std::ios::binary);
        uint32_t head[5] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        char fromHeader[32];
        std::snprintf(fromHeader, sizeof fromHeader, "%08x%08x.gsl", head[3], head[4]);
        EXPECT_EQ(fromHeader, name);
        EXPECT_EQ(spec->GetLibraryId().low, head[3]);
    }
}

TEST_F(ScriptCacheTest, PlainAndScrambledSourcesOfOneScriptShareAFileOnlyWhenTheirTextsAgree)
{
    ScriptedDaemon daemon(Daemon(""));
    struct Case {
        const char* name;
        bool sameText;
        size_t files;
    } cases[] = {{"same text", true, 1}, {"different texts", false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Folder());
        fs::create_directories(Folder());
        for (const fs::directory_entry& e : fs::directory_iterator(root_.Path() + "/cache/libraries"))
            fs::remove_all(e.path());
        const std::string plain = ThingSource() + "// " + c.name + "\n";
        const std::string scrambled = c.sameText ? plain : plain + "// scrambled\n";
        Write("A.gs", scrambled);
        ScriptFileStore store;
        ASSERT_TRUE(store.Open(Nyx::PString(), Nyx::File::Path(Folder() + "/A.gs")));
        ASSERT_TRUE(store.Save(Nyx::PString(), Nyx::File::Path(Folder() + "/A.gse")));
        Write("A.gs", plain);

        auto spec = MakeSpec();
        ResultsLog log;
        EXPECT_TRUE(Cache(*spec, log));
        EXPECT_EQ(log.Results().Count(), 0u);
        size_t files = 0;
        for (const fs::directory_entry& e : fs::directory_iterator(root_.Path() + "/cache/libraries"))
            files += e.is_regular_file();
        EXPECT_EQ(files, c.files);
        // The plain source is the primary.
        char low[16];
        std::snprintf(low, sizeof low, "%08x", spec->GetLibraryId().low);
        EXPECT_EQ(ExpectedCacheName(plain, "a.gs").substr(0, 8), low);
    }
}

TEST_F(ScriptCacheTest, ASecondCacheRunTouchesNoDiskUntilTheCheckStartsOver)
{
    ScriptedDaemon daemon(Daemon("TO"));
    Write("A.gs", ThingSource());
    const std::string name = ExpectedCacheName(ThingSource(), "a.gs");
    auto spec = MakeSpec();
    ResultsLog log;
    ASSERT_TRUE(Cache(*spec, log));
    fs::remove(CacheFile(name));
    EXPECT_TRUE(Cache(*spec, log));
    EXPECT_FALSE(fs::exists(CacheFile(name)));
    EXPECT_TRUE(spec->CheckScriptClass(log));
    EXPECT_TRUE(fs::exists(CacheFile(name)));
}

TEST_F(ScriptCacheTest, AFailedCacheRunStaysFailed)
{
    ScriptedDaemon daemon(Daemon(""));
    Write("A.gs", "class Thing isclass\n");
    auto spec = MakeSpec();
    ResultsLog log;
    EXPECT_FALSE(Cache(*spec, log));
    EXPECT_FALSE(Cache(*spec, log));
}

TEST_F(ScriptCacheTest, ACacheFileThatDoesNotLoadIsRebuilt)
{
    ScriptedDaemon daemon(Daemon(""));
    Write("A.gs", ThingSource());
    const std::string name = ExpectedCacheName(ThingSource(), "a.gs");
    std::ofstream(CacheFile(name), std::ios::binary) << "not a library";
    auto spec = MakeSpec();
    ResultsLog log;
    EXPECT_TRUE(Cache(*spec, log));
    EXPECT_GT(fs::file_size(CacheFile(name)), 20u);
    EXPECT_NE(spec->GetLibraryId().low, 0u);
}

TEST_F(ScriptCacheTest, TheClassIsCheckedAgainstTheAssetsKind)
{
    struct Case {
        const char* category;
        const char* base;
        const char* error;  // null: the check passes
    } cases[] = {
        {"?WA", "Signal", nullptr},
        {"?WA", "Trackside", "Script class does not match asset kind (signal)."},
        {"?WA", "Vehicle", "Script class does not match asset kind (vehicle)."},
        {"TR;TV", "Vehicle", nullptr},
        {"TV", "Vehicle", "Script class does not match asset kind (vehicle)."},
        {"TO", "KestroGameObject", "Script class does not match asset kind (trackside)."},
        {"", "KestroGameObject", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.category) + " " + c.base);
        ScriptedDaemon daemon(Daemon(c.category));
        Write("A.gs", ThingSource(c.base) + "// " + c.category + "\n");
        auto spec = MakeSpec();
        ResultsLog log;
        EXPECT_EQ(spec->CheckScriptClass(log), c.error == nullptr);
        std::string texts;
        for (ResultsLog::Result* r : log.Results())
            texts += std::string(r->text.View());
        EXPECT_EQ(texts, c.error ? c.error : "");
    }
}

TEST_F(ScriptCacheTest, TheIncludeTableCountsFromBuild290AndOlderActivitiesGetThePrologue)
{
    struct Case {
        float build;
        const char* kind;
        int includeLookups;
        const char* prologue;
    } cases[] = {
        {2.90f, "scenery", 1, ""},
        {2.89f, "scenery", 0, ""},
        {2.89f, "activity", 0, "include \"ScenarioStringTable.gs\"\r\n"},
        {2.90f, "behavior", 1, ""},
    };
    SpecRegistry registry;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.build) + " " + c.kind);
        KUIDResolutionCache::Instance().RequestReset();
        ChunkRef table;
        TDBContainerTag::SetKUID(table, Nyx::PString("0"), KUID(9, 9, 0));
        TDBContainerTag::SetChildContainer(config_, Nyx::PString("script-include-table"), table);
        TDBContainerTag::SetFloat(config_, Nyx::PString("kestro-build"), c.build);
        TDBContainerTag::SetString(config_, Nyx::PString("kind"), Nyx::PString(c.kind));
        ScriptedDaemon daemon([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
            return number == 26 ? std::optional<std::string>(payload) : std::string();
        });
        ScriptPrologueText().clear();
        auto spec = MakeSpec();
        // The included asset has no description here, so a lookup fails the step.
        EXPECT_EQ(spec->PrepareIncludes(), c.includeLookups == 0);
        EXPECT_EQ(daemon.Count(26), c.includeLookups);
        EXPECT_EQ(ScriptPrologueText(), c.prologue);
        ScriptPrologueText().clear();
    }
}

}  // namespace
