#include "cli/KeywordCommands.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADFilterElement.h"
#include "support/TempFolder.h"

namespace {

using wire::KUIDList;

// Request 2 lists the assets in order, 21 gives each one's keywords; one
// asset's keywords cannot be read.
std::optional<std::string> KeywordScript(const std::vector<std::pair<KUID, std::string>>& assets,
                                         const KUID& unreadable, uint32_t number, const std::string& payload)
{
    if (number == 2) {
        std::vector<KUID> kuids;
        for (const auto& [kuid, keywords] : assets)
            kuids.push_back(kuid);
        return KUIDList(kuids);
    }
    wire::Input in(payload);
    KUID kuid;
    ReadKUID(in.stream, kuid);
    if (kuid == unreadable)
        return std::nullopt;
    AssetRecord r;
    r.kuid = kuid;
    r.known = true;
    for (const auto& [known, keywords] : assets)
        if (known == kuid)
            r.keywordText = Nyx::String(keywords);
    wire::Output out;
    WriteAssetInfo(out.stream, r);
    return out.Str();
}

// The tags of a keyword file: name and text, in order.
std::vector<std::pair<std::string, std::string>> Tags(const std::string& folder, const char* file)
{
    ChunkRef root;
    EXPECT_TRUE(LoadConfigFile(root, folder.c_str(), file, "txt"));
    std::vector<std::pair<std::string, std::string>> out;
    for (uint32_t i = 0; root && i < root->GetChildCount(); ++i) {
        Nyx::PString name = TDBContainerTag::GetChildName(root, i);
        out.emplace_back(name.c_str(), TDBContainerTag::GetString(root, name).c_str());
    }
    return out;
}

const KUID kBlue(77, 500, 0);
const KUID kRed(77, 501, 3);
const KUID kOwn(-2, 7, 127);

TEST(KeywordCommandsTest, ABackupHoldsEveryAssetsKeywordsInTheDaemonsOrder)
{
    TempFolder folder;
    const std::vector<std::pair<KUID, std::string>> assets = {{kRed, "red, diesel"}, {kBlue, "steam"}, {kOwn, ""}};
    ScriptedDaemon daemon([&](uint32_t number, const std::string& payload) {
        return KeywordScript(assets, kBlue, number, payload);
    });
    // A name ending in ".dat" is written as config text all the same.
    ASSERT_TRUE(BackupKeywords(folder.Path().c_str(), "Keywords.DAT", "txt"));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {kRed.ToString().c_str(), "red, diesel"},
        {kBlue.ToString().c_str(), ""},  // its keywords could not be read
        {kOwn.ToString().c_str(), ""},
    };
    EXPECT_EQ(Tags(folder.Path(), "Keywords.DAT"), expected);

    // Everything is asked for (a filter group without children), and each
    // asset's texts once.
    const auto& requests = daemon.Requests();
    ASSERT_EQ(requests.size(), 4u);
    wire::Input filter(requests[0].payload);
    std::unique_ptr<KADFilterElement> sent = ReadFilterElement(filter.stream);
    auto* group = dynamic_cast<KADFilterElementGroup*>(sent.get());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetChildCount(), 0u);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(requests[i].number, 21u);
        EXPECT_EQ(requests[i].payload, wire::Bytes().Kuid(assets[i - 1].first).U32(4).Str());
    }

    // An empty database gives a file without tags.
    // Only a file that cannot be written fails it.
    EXPECT_FALSE(BackupKeywords((folder / "missing").c_str(), "k.dat", "txt"));
}

TEST(KeywordCommandsTest, AnImportSendsEachTagInTheFilesOrder)
{
    TempFolder folder;
    folder.Write("KeywordsDump.dat",
                 "<kuid2:77:501:3> \"red, diesel\"\n"
                 "<kuid:77:500> \"steam\"\n"
                 "<KUID2:77:500:0> \"short form, long form\"\n"
                 "not-a-kuid \"sent for nobody\"\n"
                 "<kuid:-2:7> \"\"\n");
    ScriptedDaemon daemon;
    ASSERT_TRUE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt"));
    // The short and the long form of one KUID name the same asset.
    const std::vector<std::pair<KUID, std::string>> sent = {
        {kRed, "red, diesel"},
        {kBlue, "steam"},
        {kBlue, "short form, long form"},
        {KUID::Null, "sent for nobody"},
        {kOwn, ""},  // a negative user id goes with version 127
    };
    ASSERT_EQ(daemon.Requests().size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(daemon.Requests()[i].number, 54u);
        EXPECT_EQ(daemon.Requests()[i].payload,
                  wire::Bytes().Kuid(sent[i].first).Text(sent[i].second).Str());
    }

    // A file that does not load sends nothing and fails.
    daemon.Clear();
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "missing.dat", "txt"));
    EXPECT_TRUE(daemon.Requests().empty());
}

}  // namespace
