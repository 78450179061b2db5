// The package-entry install against a scripted daemon, which can refuse or
// answer oddly at every step, and the display name of a config.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/InterfaceTextTestSupport.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/client/KADClient.h"
#include "kad/packages/PackageTestSupport.h"
#include "kad/requests/AssetRecord.h"
#include "support/TempFolder.h"

namespace {

using Tag = TDBContainerTag;
using namespace packagetest;

const KUID kAsset(4200, 17, 3);
constexpr uint64_t kHandle = 0xABCDEF01ull;

uint32_t U32At(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

struct Result {
    int32_t severity;
    std::string text;
    std::string asset;
};

std::vector<Result> ResultsOf(ResultsLog& log)
{
    std::vector<Result> out;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        out.push_back({r->severity, r->text.Str(), r->asset.ToString().Str()});
    log.Unlock();
    return out;
}

// What the scripted daemon does at each request of an install.
struct Daemon {
    bool present = false;
    std::vector<uint32_t> flags;  // set in the record besides "installed"
    bool handleGiven = true;
    std::string folder;          // of the opened or created asset
    bool commitOk = true;

    std::optional<std::string> Answer(uint32_t number, const std::string& payload)
    {
        switch (number) {
        case 21: {
            AssetRecord r;
            r.known = present;
            r.SetFlag(AssetRecord::kFlagInstalled, present);
            for (uint32_t f : flags)
                r.SetFlag(f, true);
            wire::Output out;
            WriteAssetInfo(out.stream, r);
            return out.Str();
        }
        case 30:
            return wire::Bytes().U64(handleGiven ? kHandle : ~0ull).Text("name").Text(folder).Str();
        case 35:
            createdName = payload.substr(13, payload.size() > 14 ? payload.size() - 14 : 0);
            return wire::Bytes().U64(handleGiven ? kHandle : ~0ull).Kuid(kAsset).Text("name").Text(folder).Str();
        case 33:
            return wire::Bytes().U8(1).Str();
        case 34:
            commitMode = U32At(payload, 8);
            return wire::Bytes().U8(commitOk ? 1 : 0).U8(1).Str();
        default:
            return std::string();
        }
    }

    std::string createdName;
    uint32_t commitMode = ~0u;
};

class PackageInstall : public ::testing::Test {
protected:
    PackageInstall() : scripted_([this](uint32_t n, const std::string& p) { return daemon_.Answer(n, p); })
    {
        SetContentRootPath(Nyx::File::Path(temp_.Path()));
        daemon_.folder = temp_ / "asset";
    }
    ~PackageInstall() override { SetContentRootPath(Nyx::File::Path()); }

    // An entry of one file, "mesh/body.pm", and "config.txt".
    ChunkRef MakeEntry()
    {
        ChunkRef files = NewContainer();
        AddFile(files, "config.txt", "from the package");
        ChunkRef mesh = NewContainer();
        AddFile(mesh, "body.pm", "mesh bytes");
        AddFolder(files, "mesh", mesh);
        ChunkRef entry = Entry(kAsset, files);
        Tag::SetString(entry, "username", "\"Blue_Wagon\"");
        Tag::SetFloat(entry, "kestro-build", 2.5f);
        return entry;
    }

    KUID Install(const ChunkRef& entry, uint32_t flags, KADInstallPrompt* prompt = nullptr)
    {
        bool second = false;
        return KADClient::InstallPackageEntry(entry, log_, flags, &second, prompt);
    }

    TempFolder temp_;
    Daemon daemon_;
    ScriptedDaemon scripted_;
    ResultsLog log_;
};

TEST_F(PackageInstall, ANewAssetIsCreatedFilledAndCommitted)
{
    struct Case {
        const char* name;
        uint32_t flags;
        bool stampChecksum;
        uint32_t commitMode;  // ~0: no commit
        const char* configFile;
    };
    const Case cases[] = {
        {"commit, checksum missing", 2, false, 0, "config.chump"},
        {"commit, checksum matches", 2, true, 6, "config.chump"},
        {"commit in same-build mode", 2 | 8, true, 14, "config.chump"},
        {"same-build mode without a matching checksum", 2 | 8 | 4, false, 8, "config.chump"},
        {"no commit", 0, true, ~0u, "config.txt"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(daemon_.folder);
        daemon_ = Daemon();
        daemon_.folder = temp_ / "asset";
        scripted_.Clear();
        ResultsLog log;
        ChunkRef entry = MakeEntry();
        if (c.stampChecksum)
            CDP::StampEntryChecksum(entry);
        bool second = false;
        EXPECT_EQ(KADClient::InstallPackageEntry(entry, log, c.flags, &second, nullptr), kAsset) << c.name;
        EXPECT_EQ(scripted_.Count(35), 1) << c.name;
        EXPECT_EQ(scripted_.Count(30), 0) << c.name;
        EXPECT_EQ(scripted_.Count(31), 1) << c.name << ": the handle is released";
        EXPECT_EQ(scripted_.Count(33), 0) << c.name;
        EXPECT_EQ(scripted_.Count(34), c.commitMode == ~0u ? 0 : 1) << c.name;
        EXPECT_EQ(daemon_.commitMode, c.commitMode) << c.name;
        EXPECT_EQ(daemon_.createdName, "Blue Wagon") << c.name;
        if (c.commitMode != ~0u) {
            EXPECT_TRUE(second) << c.name << ": the commit's second result comes back";
        }
        EXPECT_EQ(temp_.ReadAll("asset/mesh/body.pm"), "mesh bytes") << c.name;
        ChunkRef config;
        ASSERT_TRUE(LoadConfigFile(config, daemon_.folder.c_str(), c.configFile)) << c.name;
        EXPECT_EQ(Tag::GetKUID(config, "kuid", KUID::Null), kAsset) << c.name;
        EXPECT_FALSE(config->FindChildConst("files").IsReal()) << c.name;
        const std::vector<Result> results = ResultsOf(log);
        ASSERT_EQ(results.size(), 1u) << c.name;
        EXPECT_EQ(results[0].severity, ResultsLog::kOutput) << c.name;
        EXPECT_EQ(results[0].text, "$kad_installed") << c.name;
        EXPECT_EQ(results[0].asset, "<kuid2:4200:17:3>") << c.name;
    }
}

// Failing steps, among them those the stand-in cannot be made to take (no
// folder, a folder it may not clear): the null KUID, the step's result, a
// revert where the asset is left half-made, and the handle released.
TEST_F(PackageInstall, EachFailureEndsWithTheNullKUIDItsResultAndNoOpenHandle)
{
    struct Case {
        const char* name;
        std::function<void(Daemon&, ChunkRef&)> setup;
        uint32_t flags;
        const char* key;  // null: no result of the install's own
        bool reverted;
        bool handle;      // a handle was given (and must be released)
    };
    const Case cases[] = {
        {"create refused", [](Daemon& d, ChunkRef&) { d.handleGiven = false; }, 2, "$kad_write_error", false, false},
        {"open refused", [](Daemon& d, ChunkRef&) {
             d.present = true;
             d.handleGiven = false;
         }, 2, "$kad_write_error", false, false},
        {"no folder for the new asset", [](Daemon& d, ChunkRef&) { d.folder.clear(); }, 2, "$kad_write_error", true,
         true},
        {"a relative folder", [](Daemon& d, ChunkRef&) { d.folder = "relative/asset"; }, 2, "$kad_write_error", true,
         true},
        {"the installed folder outside the content root", [](Daemon& d, ChunkRef&) {
             d.present = true;
             d.folder = "/";
         }, 2, "$kad_overwrite_error", false, true},
        {"the config cannot be written as config.txt", [](Daemon&, ChunkRef& e) {
             ChunkRef files = NewContainer();
             AddFolder(files, "config.txt", NewContainer());
             Tag::SetChildContainer(e, "files", files);
         }, 0, "$kad_failed_install", true, true},
        {"the commit fails", [](Daemon& d, ChunkRef&) { d.commitOk = false; }, 2, nullptr, false, true},
    };
    for (const Case& c : cases) {
        daemon_ = Daemon();
        daemon_.folder = temp_ / "asset";
        std::filesystem::remove_all(daemon_.folder);
        scripted_.Clear();
        ChunkRef entry = MakeEntry();
        c.setup(daemon_, entry);
        ResultsLog log;
        bool second = false;
        EXPECT_EQ(KADClient::InstallPackageEntry(entry, log, c.flags, &second, nullptr), KUID::Null) << c.name;
        const std::vector<Result> results = ResultsOf(log);
        if (c.key) {
            ASSERT_EQ(results.size(), 1u) << c.name;
            EXPECT_EQ(results[0].text, c.key) << c.name;
            EXPECT_EQ(results[0].severity, ResultsLog::kError) << c.name;
            EXPECT_EQ(results[0].asset, "<kuid2:4200:17:3>") << c.name;
        } else {
            EXPECT_TRUE(results.empty()) << c.name;
        }
        EXPECT_EQ(scripted_.Count(33), c.reverted ? 1 : 0) << c.name;
        EXPECT_EQ(scripted_.Count(31), c.handle ? 1 : 0) << c.name << ": the handle is released";
        EXPECT_FALSE(std::filesystem::exists("relative")) << c.name << ": nothing in the working folder";
    }
}

// Answers with a fixed value and records what it was asked.
class ScriptedPrompt : public KADInstallPrompt {
public:
    explicit ScriptedPrompt(uint32_t answer) : answer_(answer) {}
    uint32_t Ask(const Nyx::String& text, const Nyx::String& logText, const Nyx::String& assetName,
                 ResultsLog&) override
    {
        asked.push_back(text.Str() + "|" + logText.Str() + "|" + assetName.Str());
        return answer_;
    }
    std::vector<std::string> asked;

private:
    uint32_t answer_;
};

TEST_F(PackageInstall, APromptChoosesItsTextByTheRecordAndMaySkipTheAsset)
{
    struct Case {
        const char* name;
        std::vector<uint32_t> flags;
        uint32_t answer;
        const char* key;
        bool installed;
    };
    const Case cases[] = {
        {"open for edit", {8, 4, 5}, 2, "$kad_prompt_openforedit", true},
        {"built in", {4, 5}, 3, "$kad_prompt_builtin", true},
        {"a download-station item", {5}, 1, "$kad_prompt_vrq_item", false},
        {"installed", {}, 0, "$kad_prompt_alreadyinstalled", false},
    };
    for (const Case& c : cases) {
        daemon_ = Daemon();
        daemon_.present = true;
        daemon_.flags = c.flags;
        daemon_.folder = temp_ / "asset";
        temp_.MakeFolder("asset");
        temp_.Write("asset/edits.txt", c.name);
        scripted_.Clear();
        ScriptedPrompt prompt(c.answer);
        EXPECT_EQ(Install(MakeEntry(), 2, &prompt), c.installed ? kAsset : KUID::Null) << c.name;
        ASSERT_EQ(prompt.asked.size(), 1u) << c.name;
        EXPECT_EQ(prompt.asked[0], std::string(c.key) + "|" + c.key + "_log|Blue Wagon") << c.name;
        EXPECT_EQ(scripted_.Count(30), c.installed ? 1 : 0) << c.name;
        EXPECT_EQ(scripted_.Count(34), 0) << c.name;
    }
    // The edits of the asset open for edit went to the trash, with a warning;
    // those of the installed one were not edits, and went.
    EXPECT_EQ(temp_.ReadAll("trash/asset-working-copy/edits.txt"), "open for edit");
    EXPECT_FALSE(temp_.Has("trash/asset-working-copy-2"));
    const std::vector<Result> results = ResultsOf(log_);
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results[0].severity, ResultsLog::kWarning);
    EXPECT_EQ(results[0].text, "The asset was open for edit: its working copy, with the edits not committed, "
                               "has been moved to trash/asset-working-copy.");
    EXPECT_EQ(results[0].asset, kAsset.ToString().Str());
    // Edits that cannot go to the trash stay where they are, and nothing is
    // installed over them.
    std::filesystem::remove_all(temp_ / "trash");
    temp_.Write("trash", "a file where the trash would be");
    daemon_.flags = {8};
    temp_.Write("asset/edits.txt", "kept");
    {
        ScriptedPrompt prompt(2);
        EXPECT_EQ(Install(MakeEntry(), 0, &prompt), KUID::Null);
    }
    EXPECT_EQ(temp_.ReadAll("asset/edits.txt"), "kept");
    EXPECT_EQ(ResultsOf(log_).back().severity, ResultsLog::kError);
    // An asset not yet installed asks nothing.
    daemon_ = Daemon();
    daemon_.folder = temp_ / "asset";
    ScriptedPrompt prompt(0);
    EXPECT_EQ(Install(MakeEntry(), 0, &prompt), kAsset);
    EXPECT_TRUE(prompt.asked.empty());
}

class DisplayName : public InterfaceTextFixture {};

TEST_F(DisplayName, NameTagsBuildsQuotesAndTheUntitledFallback)
{
    WriteText("$cm_general_untitled \"Untitled\"\r\n");
    struct Case {
        const char* name;
        std::function<void(ChunkRef&)> fill;
        const char* expected;
    };
    const std::string openQ = "\xe2\x80\x9c", closeQ = "\xe2\x80\x9d";
    const Case cases[] = {
        {"username", [](ChunkRef& c) {
             Tag::SetString(c, "username", "Red Van");
             Tag::SetString(c, "name", "other");
         }, "Red Van"},
        {"name when username is empty", [](ChunkRef& c) {
             Tag::SetString(c, "username", "");
             Tag::SetString(c, "name", "Named");
         }, "Named"},
        {"asset-filename last", [](ChunkRef& c) { Tag::SetString(c, "asset-filename", "file_name"); }, "file name"},
        {"underscores at build 2.89", [](ChunkRef& c) {
             Tag::SetString(c, "username", "Old_Name");
             Tag::SetFloat(c, "kestro-build", 2.89f);
         }, "Old Name"},
        {"underscores kept at build 2.9", [](ChunkRef& c) {
             Tag::SetString(c, "username", "New_Name");
             Tag::SetFloat(c, "kestro-build", 2.9f);
         }, "New_Name"},
        {"ASCII quotes and blanks", [](ChunkRef& c) {
             Tag::SetString(c, "username", " \t\"Quoted\"\r\n");
             Tag::SetFloat(c, "kestro-build", 3.0f);
         }, "Quoted"},
        {"single-byte curly quotes", [](ChunkRef& c) {
             Tag::SetString(c, "username", "\x93" "Curly\x94");
             Tag::SetFloat(c, "kestro-build", 3.0f);
         }, "Curly"},
        {"UTF-8 curly quotes", [&](ChunkRef& c) {
             Tag::SetString(c, "username", Nyx::PString(openQ + "Curly" + closeQ));
             Tag::SetFloat(c, "kestro-build", 3.0f);
         }, "Curly"},
        {"only one quote at each end goes", [](ChunkRef& c) {
             Tag::SetString(c, "username", "''Twice''");
             Tag::SetFloat(c, "kestro-build", 3.0f);
         }, "'Twice'"},
        {"all names blank", [](ChunkRef& c) {
             Tag::SetString(c, "username", "  ");
             Tag::SetString(c, "name", "");
         }, "Untitled"},
        {"only quotes", [](ChunkRef& c) { Tag::SetString(c, "username", " \"\" "); }, "Untitled"},
        {"no name at all", [](ChunkRef&) {}, "Untitled"},
    };
    for (const Case& c : cases) {
        ChunkRef config;
        config.EnsureContainer();
        c.fill(config);
        EXPECT_EQ(KADClient::GetConfigDisplayName(config).Str(), c.expected) << c.name;
    }
}

}  // namespace
