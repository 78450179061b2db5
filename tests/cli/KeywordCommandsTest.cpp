#include "cli/KeywordCommands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "kad/requests/AssetRecord.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/KADFilterElement.h"
#include "support/ResultLines.h"
#include "support/TempFolder.h"

namespace {

using wire::KUIDList;

// Request 2 lists the assets in order, 21 gives each one's keywords; the
// daemon answers for one asset without its record, and the connection is
// lost at the request for another (request 2 too, with `lostAtSearch`).
std::optional<std::string> KeywordScript(const std::vector<std::pair<KUID, std::string>>& assets,
                                         const KUID& unreadable, uint32_t number, const std::string& payload,
                                         const KUID& lost = KUID::Null, bool lostAtSearch = false)
{
    if (number == 2) {
        if (lostAtSearch)
            return std::nullopt;
        std::vector<KUID> kuids;
        for (const auto& [kuid, keywords] : assets)
            kuids.push_back(kuid);
        return KUIDList(kuids);
    }
    wire::Input in(payload);
    KUID kuid;
    ReadKUID(in.stream, kuid);
    if (kuid == lost)
        return std::nullopt;
    if (kuid == unreadable)
        return std::string();
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
    ResultsLog log;
    ASSERT_TRUE(BackupKeywords(folder.Path().c_str(), "Keywords.DAT", "txt", log));
    EXPECT_EQ(log.GetResultCount(), 0u);
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

    // Only a file that cannot be written fails it, of the daemons that
    // answer.
    EXPECT_FALSE(BackupKeywords((folder / "missing").c_str(), "k.dat", "txt", log));
    EXPECT_EQ(log.GetResultCount(), 0u);

    // A connection lost before every asset was read leaves the earlier
    // backup as it was.
    const std::string earlier = "<kuid:1:2> \"earlier\"\n";
    folder.Write("Keywords.DAT", earlier);
    for (const bool atSearch : {true, false}) {
        SCOPED_TRACE(atSearch);
        daemon.SetScript([&](uint32_t number, const std::string& payload) {
            return KeywordScript(assets, kBlue, number, payload, kOwn, atSearch);
        });
        ResultsLog lost;
        EXPECT_FALSE(BackupKeywords(folder.Path().c_str(), "Keywords.DAT", "txt", lost));
        EXPECT_EQ(resultstest::ResultLines(lost),
                  std::vector<std::string>{std::to_string(ResultsLog::kError) + " " + LinkWatch::kLostText});
        std::ifstream in(folder / "Keywords.DAT", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier);
    }
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
    ResultsLog log;
    ASSERT_TRUE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt", log));
    EXPECT_EQ(log.GetResultCount(), 0u);
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
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "missing.dat", "txt", log));
    EXPECT_TRUE(daemon.Requests().empty());

    // A text its record cannot carry is not sent (the daemon would erase
    // the keywords); the rest are.
    daemon.Clear();
    folder.Write("long.dat", "<kuid:77:500> \"" + std::string(65535, 'k') + "\"\n<kuid:77:501> \"fits\"\n");
    ResultsLog refused;
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "long.dat", "txt", refused));
    EXPECT_EQ(resultstest::ResultLines(refused),
              std::vector<std::string>{std::to_string(ResultsLog::kError) +
                                       " The keywords are too long to send to the asset database daemon."});
    ASSERT_EQ(daemon.Requests().size(), 1u);
    EXPECT_EQ(daemon.Requests()[0].payload, wire::Bytes().Kuid(KUID(77, 501, 0)).Text("fits").Str());

    // A lost connection ends the import at once.
    daemon.Clear();
    daemon.SetScript([](uint32_t, const std::string&) { return std::nullopt; });
    ResultsLog lost;
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt", lost));
    EXPECT_EQ(daemon.Requests().size(), 1u);
    EXPECT_EQ(resultstest::ResultLines(lost),
              std::vector<std::string>{std::to_string(ResultsLog::kError) + " " + LinkWatch::kLostText});

    // A daemon that goes away saying why (it could not serve its root) is
    // heard before the loss is told.
    daemon.Clear();
    daemon.SetScript([&](uint32_t, const std::string&) {
        if (ResultsLog* log = daemon.Requests().back().log)
            ResultsLog::AddResult(*log, ResultsLog::kError, Nyx::String("Cannot serve."));
        return std::optional<std::string>();
    });
    ResultsLog refusedRoot;
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt", refusedRoot));
    EXPECT_EQ(resultstest::ResultLines(refusedRoot),
              (std::vector<std::string>{std::to_string(ResultsLog::kError) + " Cannot serve.",
                                        std::to_string(ResultsLog::kError) + " " + LinkWatch::kLostText}));
}

// A change the daemon could not keep is an error naming its asset, and the
// import goes on with the others; an asset the daemon does not know gets no
// word from it, and none from the command.
TEST(KeywordCommandsTest, AnImportNamesEachAssetWhoseKeywordsTheDaemonCouldNotKeep)
{
    TempFolder folder;
    folder.Write("KeywordsDump.dat", "<kuid:77:500> \"steam\"\n<kuid2:77:501:3> \"red\"\n<kuid:9:9> \"nobody's\"\n"
                                     "<kuid:-2:7> \"own\"\n");
    ScriptedDaemon daemon;
    daemon.SetScript([&](uint32_t, const std::string& payload) {
        wire::Input in(payload);
        KUID kuid;
        ReadKUID(in.stream, kuid);
        // As the client files the daemon's results note before the reply.
        ResultsLog* log = daemon.Requests().back().log;
        if ((kuid == kRed || kuid == kOwn) && log)
            ResultsLog::AddResult(*log, ResultsLog::kError, Nyx::String("Not kept."));
        return std::optional<std::string>(std::string());
    });
    ResultsLog log;
    EXPECT_FALSE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt", log));
    EXPECT_EQ(daemon.Count(54), 4);
    std::vector<std::string> lines;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        lines.push_back(std::to_string(r->severity) + " " + r->asset.ToString().c_str() + " " + r->text.Str());
    log.Unlock();
    EXPECT_EQ(lines, (std::vector<std::string>{"3 <kuid2:77:501:3> Not kept.", "3 <kuid:-2:7> Not kept."}));

    ResultsLog silent;
    folder.Write("KeywordsDump.dat", "<kuid:77:500> \"steam\"\n<kuid:9:9> \"nobody's\"\n");
    EXPECT_TRUE(ImportKeywords(folder.Path().c_str(), "KeywordsDump.dat", "txt", silent));
    EXPECT_EQ(silent.GetResultCount(), 0u);
}

}  // namespace
