#include "cli/AssetCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "cli/CommandHandlers.h"
#include "cli/RunCommand.h"
#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/AuthorNames.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/ScriptedDaemon.h"
#include "kad/requests/UserKUID.h"
#include "kad/WireBytes.h"
#include "support/TempFolder.h"

namespace {

using wire::KUIDList;

const KUID kAsset(77, 500, 3);
constexpr uint64_t kHandle = 42;

struct Outcome {
    int code;
    std::string out;
    std::string printed;
};

Outcome RunCaptured(const std::function<int(ResultsLog&)>& command)
{
    ResultsLog log;
    Outcome o;
    testing::internal::CaptureStdout();
    o.code = command(log);
    o.out = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    PrintResults(log);
    o.printed = testing::internal::GetCapturedStdout();
    return o;
}

std::string Record(const AssetRecord& record)
{
    wire::Output out;
    WriteAssetInfo(out.stream, record);
    return out.Str();
}

AssetRecord Known(const char* name, int32_t author = 0)
{
    AssetRecord r;
    r.known = true;
    r.displayName = Nyx::String(name);
    r.authorId = author;
    return r;
}

// The filter a search request carried.
std::unique_ptr<KADFilterElement> SentFilter(const std::string& payload)
{
    wire::Input in(payload);
    return ReadFilterElement(in.stream);
}

const std::string kClean = "OK (0 Errors, 0 Warnings)\n";

TEST(AssetCommandsTest, StatusAsksThreeTimesAndUnknownAssetsAreReported)
{
    AssetRecord r = Known("Blue Loco");
    r.categoryText = Nyx::String("TR");
    r.SetFlag(AssetRecord::kFlagInstalled, true);
    ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return Record(r); });
    Outcome o = RunCaptured([](ResultsLog& log) { return StatusCommand(log, kAsset); });
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "+ " + std::string(kAsset.ToString().c_str()) + " : eIadlmf : TR : Blue Loco\n");
    EXPECT_EQ(daemon.Count(21), 3);

    daemon.SetScript([](uint32_t, const std::string&) -> std::optional<std::string> { return std::nullopt; });
    o = RunCaptured([](ResultsLog& log) { return StatusCommand(log, KUID::Null); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.printed, "- <NULL> : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
}

TEST(AssetCommandsTest, EachStatusLetterShowsItsOwnFlag)
{
    // Indexes written out: a letter tied to the wrong flag must show here.
    const std::pair<uint32_t, const char*> letters[] = {
        {8, "Eiadlmf"}, {3, "eIadlmf"}, {7, "eiAdlmf"}, {6, "eiaDlmf"},
        {2, "eiadLmf"}, {11, "eiadlMf"}, {9, "eiadlmF"},
    };
    AssetRecord r = Known("Blue Loco");
    r.categoryText = Nyx::String("TR");
    ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return Record(r); });
    for (uint32_t flag = 0; flag < AssetRecord::kFlagCount; ++flag) {
        SCOPED_TRACE(flag);
        for (uint32_t other = 0; other < AssetRecord::kFlagCount; ++other)
            r.SetFlag(other, other == flag);
        std::string expected = "eiadlmf";
        for (const auto& [index, text] : letters)
            if (index == flag)
                expected = text;
        Outcome o = RunCaptured([](ResultsLog& log) { return StatusCommand(log, kAsset); });
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.out, "+ " + std::string(kAsset.ToString().c_str()) + " : " + expected + " : TR : Blue Loco\n");
    }
}

TEST(AssetCommandsTest, EditOfAnUnknownAssetAsksForNoFolder)
{
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return wire::Bytes().U64(~0ull).Str();
    });
    Outcome o = RunCaptured([](ResultsLog& log) { return EditCommand(log, kAsset); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(o.printed,
              "- " + std::string(kAsset.ToString().c_str()) + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(daemon.Count(32), 0);

    daemon.SetScript([](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 30)
            return wire::Bytes().U64(kHandle).Text("a").Text("/content/a").Str();
        return std::string();
    });
    daemon.Clear();
    o = RunCaptured([](ResultsLog& log) { return EditCommand(log, kAsset); });
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "+ " + std::string(kAsset.ToString().c_str()) + " : /content/a\n");
    // The handle is closed before the command returns.
    EXPECT_EQ(daemon.Count(31), 1);
}

TEST(AssetCommandsTest, CommitRevertAndDeleteAnswerWithTheDaemonsTruth)
{
    struct Case {
        const char* name;
        int (*command)(ResultsLog&, const KUID&);
        uint32_t request;
        bool answer;
        int code;
    };
    const Case cases[] = {
        {"commit", &CommitCommand, 34, true, 0},  {"commit refused", &CommitCommand, 34, false, -1},
        {"revert", &RevertCommand, 33, true, 0},  {"revert refused", &RevertCommand, 33, false, -1},
        {"delete", &DeleteCommand, 36, true, 0},  {"delete refused", &DeleteCommand, 36, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
            if (number == 30)
                return wire::Bytes().U64(kHandle).Text("a").Text("/content/a").Str();
            return wire::Bytes().U8(c.answer ? 1 : 0).U8(0).Str();
        });
        Outcome o = RunCaptured([&](ResultsLog& log) { return c.command(log, kAsset); });
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(daemon.Count(c.request), 1);
        EXPECT_EQ(daemon.Count(31), c.request == 36 ? 0 : 1);
    }
}

TEST(AssetCommandsTest, SearchByCategoryListsTheMatches)
{
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return KUIDList({KUID(1, 10, 0), KUID(2, 20, 0), KUID(3, 30, 0)});
    });
    Outcome o = RunCaptured([](ResultsLog& log) { return SearchByCategoryCommand(log, false, "tr;tv"); });
    EXPECT_EQ(o.code, 0);
    std::string expected = "+ 3 : assets matching the specified criteria\n";
    const KUID found[] = {KUID(1, 10, 0), KUID(2, 20, 0), KUID(3, 30, 0)};
    for (int i = 0; i < 3; ++i)
        expected += "+ #" + std::to_string(i) + " : " + found[i].ToString().c_str() + "\n";
    EXPECT_EQ(o.out, expected);
    auto filter = SentFilter(daemon.Requests()[0].payload);
    auto* group = dynamic_cast<KADFilterElementGroup*>(filter.get());
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetChildCount(), 2u);
    EXPECT_EQ(group->GetChild(0)->GetValueText().View(), "TR;TV");
    EXPECT_EQ(group->GetChild(1)->GetFieldName().View(), KADFilterElementBool(0).GetFieldName().View());

    // With the Fetchery: only the expression; nothing found gives -1 silently.
    daemon.SetScript([](uint32_t, const std::string&) -> std::optional<std::string> { return KUIDList({}); });
    daemon.Clear();
    o = RunCaptured([](ResultsLog& log) { return SearchByCategoryCommand(log, true, "cn"); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.printed, kClean);
    filter = SentFilter(daemon.Requests()[0].payload);
    EXPECT_EQ(dynamic_cast<KADFilterElementGroup&>(*filter).GetChildCount(), 1u);
}

TEST(AssetCommandsTest, AnExpressionTooLongForTheWireIsRefusedNotSentEmpty)
{
    // Sent empty, the expression would match every asset.
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return KUIDList({KUID(1, 10, 0)});
    });
    struct Case {
        size_t length;
        bool sent;
    };
    for (const Case c : {Case{65534, true}, Case{65535, false}, Case{200000, false}}) {
        SCOPED_TRACE(c.length);
        daemon.Clear();
        const std::string expression(c.length, 'a');
        Outcome o = RunCaptured([&](ResultsLog& log) { return SearchByCategoryCommand(log, false, expression.c_str()); });
        ASSERT_EQ(daemon.Requests().size(), c.sent ? 1u : 0u);
        if (c.sent) {
            EXPECT_EQ(o.code, 0);
            auto filter = SentFilter(daemon.Requests()[0].payload);
            auto* group = dynamic_cast<KADFilterElementGroup*>(filter.get());
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(group->GetChild(0)->GetValueText().View(), std::string(c.length, 'A'));
        } else {
            EXPECT_EQ(o.code, -1);
            EXPECT_EQ(o.printed, "- <NULL> : The category expression is longer than 65534 characters.\n"
                                 "OK (1 Errors, 0 Warnings)\n");
        }
    }

    // The request stub refuses such a filter from any caller.
    KADFilterElementGroup filter;
    filter.AddChild(std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList,
                                                             Nyx::PString(std::string(70000, 'X'))));
    KUIDRing found;
    daemon.Clear();
    EXPECT_FALSE(KADRequests::SearchAssets(&filter, found));
    EXPECT_TRUE(daemon.Requests().empty());
    EXPECT_EQ(found.Count(), 0u);
}

TEST(AssetCommandsTest, AuthorsAreListedOnceInOrderOfFirstAppearance)
{
    ClearAuthorNames();
    ScriptedDaemon daemon([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        switch (number) {
        case 2:
            return KUIDList({KUID(1, 1, 0), KUID(2, 2, 0), KUID(3, 3, 0)});
        case 21: {
            KUID k;
            wire::Input in(payload);
            ReadKUID(in.stream, k);
            return Record(Known("x", k.content == 2 ? -5 : 9));
        }
        case 90:
            return wire::Bytes().U32(0).Text(payload == wire::Bytes().U32(9).Str() ? "Nine" : "Minus Five").Str();
        default:
            return std::string();
        }
    });
    Outcome o = RunCaptured([](ResultsLog& log) { return AuthorsCommand(log); });
    EXPECT_EQ(o.code, 0);
    // Negative ids are built-in content's: a fixed name, not asked.
    EXPECT_EQ(o.out, "nine\nMarvu\n");
    EXPECT_EQ(daemon.Count(90), 1);
    ClearAuthorNames();
}

TEST(AssetCommandsTest, GenerateKUIDPastItsBoundFails)
{
    TempFolder folder;
    folder.Write("settings/kuid.txt", "base-kuid <kuid:77:2147483640>\n");
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    // Every candidate is taken.
    ScriptedDaemon daemon([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        if (number == 27)
            return payload;
        return Record(Known("taken"));
    });
    Outcome o = RunCaptured([](ResultsLog& log) { return GenerateKUIDCommand(log); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(o.out, "<KUID2:-1:4294967295:127>\n");
    EXPECT_EQ(o.printed, "- <NULL> : No KUID could be generated in the user's range.\nOK (1 Errors, 0 Warnings)\n");

    // A free one is printed and succeeds.
    folder.Write("settings/kuid.txt", "base-kuid <kuid:77:500>\n");
    SetSettingsFolder(Nyx::File::Path(folder.Path()));
    daemon.SetScript([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        if (number == 27)
            return payload;
        return Record(AssetRecord());
    });
    o = RunCaptured([](ResultsLog& log) { return GenerateKUIDCommand(log); });
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.printed, kClean);
    EXPECT_EQ(o.out.rfind("<KUID2:77:", 0), 0u) << o.out;
}

TEST(AssetCommandsTest, ListBuildsWritesTheDaemonsText)
{
    TempFolder folder;
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return wire::Bytes().Text("41615 3.1").Str();
    });
    std::string path = folder / "builds.txt";
    Outcome o = RunCaptured([&](ResultsLog& log) { return ListBuildsCommand(log, path.c_str()); });
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(folder.ReadAll("builds.txt"), "41615 3.1\n");
    std::string bad = folder / "missing/builds.txt";
    o = RunCaptured([&](ResultsLog& log) { return ListBuildsCommand(log, bad.c_str()); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(o.printed, "- <NULL> : Failed to open output file.\nOK (1 Errors, 0 Warnings)\n");
}

// The earlier list gives way only to an answer: cut to the new text when
// the daemon answers, and left byte for byte as it was when it does not.
TEST(AssetCommandsTest, ListBuildsReplacesAnEarlierListOnlyWithTheDaemonsAnswer)
{
    const std::string earlier = "2.5\n3.1\nan earlier list, longer than the new one\n";
    struct Case {
        const char* name;
        std::optional<std::string> reply;
        int code;
        std::string printed;
        std::string file;
    };
    const Case cases[] = {
        {"answered", wire::Bytes().Text("3.1").Str(), 0, kClean, "3.1\n"},
        {"lost", std::nullopt, -1,
         std::string("- <NULL> : ") + LinkWatch::kLostText + "\nOK (1 Errors, 0 Warnings)\n", earlier},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.Write("builds.txt", earlier);
        ScriptedDaemon daemon([&](uint32_t, const std::string&) { return c.reply; });
        const std::string path = folder / "builds.txt";
        Outcome o = RunCaptured([&](ResultsLog& log) { return ListBuildsCommand(log, path.c_str()); });
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.printed, c.printed);
        EXPECT_EQ(daemon.Count(253), 1);
        EXPECT_EQ(folder.ReadAll("builds.txt"), c.file);
    }
}

TEST(AssetCommandsTest, PrintConfigDumpsALocalConfigOnly)
{
    ChunkRef tree;
    TDBContainerTag::SetString(tree, Nyx::PString("kind"), Nyx::PString("traincar"));
    wire::Output reply;
    WriteBinaryConfig(reply.stream, tree);
    std::string bytes = reply.Str();
    ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return bytes; });
    Outcome o = RunCaptured([](ResultsLog& log) { return PrintConfigCommand(log, kAsset); });
    EXPECT_EQ(o.code, 0);
    const std::string text = kAsset.ToString().c_str();
    EXPECT_EQ(o.out.rfind("+ Start of " + text + " dump\n", 0), 0u) << o.out;
    EXPECT_NE(o.out.find("traincar"), std::string::npos);
    EXPECT_EQ(o.out.substr(o.out.size() - (text.size() + 15)), "+ End of " + text + " dump\n");

    for (std::optional<std::string> answer : {std::optional<std::string>(), std::optional<std::string>("junk")}) {
        daemon.SetScript([&](uint32_t, const std::string&) { return answer; });
        o = RunCaptured([](ResultsLog& log) { return PrintConfigCommand(log, kAsset); });
        EXPECT_EQ(o.code, -1);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.printed, "- " + text + " : Asset is not local.\nOK (1 Errors, 0 Warnings)\n");
    }
}

TEST(AssetCommandsTest, ValidationFindingsDoNotFailTheCommand)
{
    ScriptedDaemon daemon([](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 30)
            return wire::Bytes().U64(kHandle).Text("asset-name").Text("/content/a").Str();
        // Request 38 answers "not valid".
        return wire::Bytes().U8(0).Str();
    });
    Outcome o = RunCaptured([](ResultsLog& log) { return ValidateCommand(log, kAsset); });
    EXPECT_EQ(o.code, 0);
    ASSERT_EQ(daemon.Count(38), 1);
    for (const auto& r : daemon.Requests())
        if (r.number == 38) {
            EXPECT_EQ(r.payload, wire::Bytes().Text("asset-name").Text("/content/a").Str());
            EXPECT_NE(r.log, nullptr);
        }

    daemon.SetScript([](uint32_t, const std::string&) -> std::optional<std::string> { return std::nullopt; });
    daemon.Clear();
    o = RunCaptured([](ResultsLog& log) { return ValidateCommand(log, kAsset); });
    EXPECT_EQ(o.code, -1);
    EXPECT_EQ(daemon.Count(38), 0);
}

}  // namespace
