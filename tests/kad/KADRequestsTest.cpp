#include "kad/requests/KADRequests.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/AuthorNames.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"

namespace {

const KUID kAsset(77, 500, 3);
constexpr uint64_t kHandle = 0x1122334455667788ull;

std::optional<std::string> Fails() { return std::nullopt; }

// An open reply naming a folder.
std::string OpenReply(uint64_t handle, const char* folder = "/content/asset")
{
    return wire::Bytes().U64(handle).Text("asset-name").Text(folder).Str();
}

std::string UnknownRecord()
{
    AssetRecord r;
    r.displayName = Nyx::String("not known");
    wire::Output out;
    WriteAssetInfo(out.stream, r);
    return out.Str();
}

TEST(KADRequestsTest, EachStubSendsItsNumberAndPayload)
{
    // A binary config up to its size field: "ACS$", version 1, a zero word.
    const std::string kConfigHead = wire::Bytes().Raw("ACS$").U32(1).U32(0).Str();
    struct Case {
        const char* name;
        std::function<void()> call;
        uint32_t number;
        wire::Bytes payload;
    };
    const Case cases[] = {
        {"search", [] { KUIDRing r; KADRequests::SearchAssets(nullptr, r); }, 2, wire::Bytes().U32(0)},
        {"start repair", [] { KADRequests::StartRepair(150, nullptr); }, 3, wire::Bytes().U32(150)},
        {"poll repair", [] { float p; Nyx::String s; KADRequests::PollRepair(p, s); }, 4, wire::Bytes()},
        {"config", [] { KADRequests::GetAssetConfig(kAsset); }, 20, wire::Bytes().Kuid(kAsset)},
        {"info", [] { AssetRecord r; KADRequests::GetAssetInfo(kAsset, r, 0xFFFFFFFFu); }, 21,
         wire::Bytes().Kuid(kAsset).U32(0xFFFFFFFFu)},
        {"name", [] { KADRequests::GetAssetName(kAsset); }, 21, wire::Bytes().Kuid(kAsset).U32(1)},
        {"file path", [] { Nyx::PString n; Nyx::File::Path p; KADRequests::GetAssetFilePath(kAsset, 2, n, p); }, 23,
         wire::Bytes().Kuid(kAsset).U8(2)},
        {"resolve", [] { KADRequests::ResolveKUID(kAsset); }, 26, wire::Bytes().Kuid(kAsset)},
        {"latest", [] { KADRequests::GetLatestKUID(kAsset); }, 27, wire::Bytes().Kuid(kAsset)},
        {"description", [] { KADRequests::GetAssetDescription(kAsset); }, 28, wire::Bytes().Kuid(kAsset)},
        {"thumbnail", [] { Nyx::PString n; Nyx::File::Path p; KADRequests::GetThumbnail(kAsset, 240, n, p); }, 29,
         wire::Bytes().Kuid(kAsset).U32(240)},
        {"open for edit", [] { KADRequests::OpenAsset(kAsset, true, nullptr); }, 30, wire::Bytes().Kuid(kAsset).U8(1)},
        {"create", [] { KADRequests::CreateAsset(KUID::Null, 1, Nyx::String()); }, 35,
         wire::Bytes().Kuid(KUID::Null).U8(1).U32(0)},
        {"delete", [] { KADRequests::DeleteAsset(kAsset, 1, nullptr); }, 36, wire::Bytes().Kuid(kAsset).U8(1)},
        {"validate", [] { KADRequests::ValidateAsset(Nyx::PString("asset-name"), Nyx::File::Path("/c/a"), nullptr); },
         38, wire::Bytes().Text("asset-name").Text("/c/a")},
        {"install folder", [] { KUID k; KADRequests::InstallFromFolder(Nyx::File::Path("/in"), 0, k, nullptr, nullptr); },
         39, wire::Bytes().Text("/in").U32(0)},
        {"install package", [] { int32_t v; KADRequests::InstallCDP(Nyx::File::Path("/p.cdp"), 2, v, nullptr, nullptr); },
         40, wire::Bytes().Text("/p.cdp").U32(2)},
        {"dependencies", [] { KUIDRing r; KADRequests::GetDependencyList(kAsset, r); }, 42,
         wire::Bytes().U32(1).Kuid(kAsset)},
        {"obsoletes", [] { KUIDRing r; KADRequests::GetObsoletes(kAsset, r); }, 43, wire::Bytes().Kuid(kAsset)},
        {"favourite", [] { KADRequests::SetFavorite(kAsset, true); }, 50, wire::Bytes().Kuid(kAsset).U8(1)},
        {"keywords", [] { KADRequests::SetKeywords(kAsset, Nyx::String("red blue")); }, 54,
         wire::Bytes().Kuid(kAsset).Text("red blue")},
        {"author (signed id)", [] { Nyx::PString n; KADRequests::GetAuthorName(-7, n); }, 90, wire::Bytes().U32(0xFFFFFFF9u)},
        {"setting", [] { KADRequests::GetSetting(Nyx::PString("general"), Nyx::PString("language")); }, 102,
         wire::Bytes().Text("general").Text("language")},
        {"export", [] { KADRequests::ExportAsset(kAsset, 3, nullptr); }, 48, wire::Bytes().Kuid(kAsset).U32(3)},
        {"local data key lower-cased", [] { KADRequests::GetLocalData(kAsset, Nyx::PString("MyKey")); }, 121,
         wire::Bytes().Kuid(kAsset).Text("mykey")},
        {"set local data", [] {
             ChunkRef data;
             TDBContainerTag::SetInt(data, Nyx::PString("n"), 7);
             KADRequests::SetLocalData(kAsset, Nyx::PString("MyKey"), data);
         }, 122, wire::Bytes().Kuid(kAsset).Text("mykey").Raw(kConfigHead).U32(12).U32(8).U8(2).Raw({"n", 2}).U8(1).U32(7)},
        {"181", [] { KADRequests::Request181(); }, 181, wire::Bytes()},
        {"start fetch", [] { delete KADRequests::StartURLFetch(Nyx::PString("http://host/a?b=1")); }, 230,
         wire::Bytes().U8(0).Text("http://host/a?b=1").U32(2).U32(0xFFFFFFFFu).Raw(kConfigHead).U32(0)},
        {"end fetch", [] { auto* f = new URLFetch; f->handle = kHandle; KADRequests::EndURLFetch(f); }, 231,
         wire::Bytes().U64(kHandle)},
        {"profile", [] { OnlineProfile p; KADRequests::GetOnlineProfile(p); }, 240, wire::Bytes()},
        {"241", [] { KADRequests::Request241(); }, 241, wire::Bytes()},
        {"242", [] { KADRequests::Request242(); }, 242, wire::Bytes()},
        {"builds", [] { KADRequests::ListBuilds(); }, 253, wire::Bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDaemon daemon;
        c.call();
        ASSERT_EQ(daemon.Requests().size(), 1u);
        EXPECT_EQ(daemon.Requests()[0].number, c.number);
        EXPECT_EQ(daemon.Requests()[0].payload, c.payload.Str());
        EXPECT_EQ(daemon.Requests()[0].keepLog, c.number == 3);
    }
}

TEST(KADRequestsTest, FailedCallsAndShortRepliesGiveTheDefaults)
{
    struct Case {
        const char* name;
        std::optional<std::string> reply;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"resolve keeps the input", Fails(), [] { EXPECT_EQ(KADRequests::ResolveKUID(kAsset), kAsset); }},
        {"latest keeps the input", Fails(), [] { EXPECT_EQ(KADRequests::GetLatestKUID(kAsset), kAsset); }},
        {"latest read from the reply", wire::Bytes().Kuid(KUID(77, 500, 9)).Str(),
         [] { EXPECT_EQ(KADRequests::GetLatestKUID(kAsset), KUID(77, 500, 9)); }},
        {"181 is true when the call fails", Fails(), [] { EXPECT_TRUE(KADRequests::Request181()); }},
        {"181 is true on an empty reply", std::string(), [] { EXPECT_TRUE(KADRequests::Request181()); }},
        {"181 reads its answer", wire::Bytes().U8(0).Str(), [] { EXPECT_FALSE(KADRequests::Request181()); }},
        {"open refused", wire::Bytes().U64(~0ull).Str(),
         [] { EXPECT_FALSE(KADRequests::OpenAsset(kAsset, true, nullptr).IsValid()); }},
        {"open with an empty reply", std::string(),
         [] { EXPECT_FALSE(KADRequests::OpenAsset(kAsset, true, nullptr).IsValid()); }},
        {"create refused", Fails(), [] { EXPECT_FALSE(KADRequests::CreateAsset(KUID::Null, 1, Nyx::String()).IsValid()); }},
        {"delete fails", Fails(), [] { EXPECT_FALSE(KADRequests::DeleteAsset(kAsset, 1, nullptr)); }},
        {"thumbnail fails", Fails(),
         [] {
             Nyx::PString n("kept");
             Nyx::File::Path p("/kept");
             EXPECT_EQ(KADRequests::GetThumbnail(kAsset, 240, n, p), 0);
             EXPECT_EQ(n.View(), "kept");
         }},
        {"thumbnail bytes as counted", wire::Bytes().Text("a.png").Text("").U32(3).Raw("PNG").Str(),
         [] {
             Nyx::PString n;
             Nyx::File::Path p;
             std::vector<uint8_t> bytes{9};
             EXPECT_EQ(KADRequests::GetThumbnail(kAsset, 240, n, p, &bytes), 3);
             EXPECT_EQ(n.View(), "a.png");
             EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "PNG");
         }},
        {"thumbnail counting more bytes than it holds", wire::Bytes().Text("a.png").Text("").U32(4).Raw("PNG").Str(),
         [] {
             Nyx::PString n;
             Nyx::File::Path p;
             std::vector<uint8_t> bytes{9};
             EXPECT_EQ(KADRequests::GetThumbnail(kAsset, 240, n, p, &bytes), 4);
             EXPECT_TRUE(bytes.empty());
         }},
        {"thumbnail with a negative count", wire::Bytes().Text("a.png").Text("").U32(0xFFFFFFFFu).Raw("PNG").Str(),
         [] {
             Nyx::PString n;
             Nyx::File::Path p;
             std::vector<uint8_t> bytes{9};
             EXPECT_EQ(KADRequests::GetThumbnail(kAsset, 240, n, p, &bytes), -1);
             EXPECT_TRUE(bytes.empty());
         }},
        {"thumbnail naming a file carries no bytes", wire::Bytes().Text("thumbnail.jpg").Text("/a/thumbnail.jpg").U32(0).Str(),
         [] {
             Nyx::PString n;
             Nyx::File::Path p;
             std::vector<uint8_t> bytes{9};
             EXPECT_EQ(KADRequests::GetThumbnail(kAsset, 240, n, p, &bytes), 0);
             EXPECT_EQ(p.Str(), "/a/thumbnail.jpg");
             EXPECT_TRUE(bytes.empty());
         }},
        {"file path empties its outputs", Fails(),
         [] {
             Nyx::PString n("kept");
             Nyx::File::Path p("/kept");
             EXPECT_FALSE(KADRequests::GetAssetFilePath(kAsset, 0, n, p));
             EXPECT_TRUE(n.Empty());
             EXPECT_TRUE(p.Empty());
         }},
        {"dependencies are true even when the call fails", Fails(),
         [] {
             KUIDRing r;
             EXPECT_TRUE(KADRequests::GetDependencyList(kAsset, r));
             EXPECT_EQ(r.Count(), 0u);
         }},
        {"info of an asset the daemon does not know", UnknownRecord(),
         [] {
             AssetRecord r;
             EXPECT_FALSE(KADRequests::GetAssetInfo(kAsset, r, 0));
             EXPECT_TRUE(KADRequests::GetAssetInfoFlag9(kAsset));
             EXPECT_TRUE(KADRequests::GetAssetName(kAsset).Empty());
         }},
        {"info cut short", wire::Bytes().Kuid(kAsset).Str(),
         [] {
             AssetRecord r;
             EXPECT_FALSE(KADRequests::GetAssetInfo(kAsset, r, 0));
         }},
        {"builds empty when the call fails", Fails(), [] { EXPECT_TRUE(KADRequests::ListBuilds().Empty()); }},
        {"config none when the call fails", Fails(), [] { EXPECT_FALSE(KADRequests::GetAssetConfig(kAsset)); }},
        {"config none on a reply that is not a config", wire::Bytes().U32(5).Str(),
         [] { EXPECT_FALSE(KADRequests::GetAssetConfig(kAsset)); }},
        {"poll repair ended on failure", Fails(),
         [] {
             float p = 0.5f;
             Nyx::String s("kept");
             EXPECT_FALSE(KADRequests::PollRepair(p, s));
             EXPECT_EQ(p, 0.5f);
         }},
        {"poll repair reads its reply", wire::Bytes().U8(1).F32(0.25f).Text("half").Str(),
         [] {
             float p = 0;
             Nyx::String s;
             EXPECT_TRUE(KADRequests::PollRepair(p, s));
             EXPECT_EQ(p, 0.25f);
             EXPECT_EQ(s.View(), "half");
         }},
        {"profile keeps its values when the call fails", Fails(),
         [] {
             OnlineProfile p;
             p.number0 = 9;
             KADRequests::GetOnlineProfile(p);
             EXPECT_EQ(p.number0, 9u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
            return number == 31 ? std::optional<std::string>(std::string()) : c.reply;
        });
        c.check();
    }
}

// The stubs that tell a reply from none: a command then fails on a lost
// daemon instead of taking the empty result for the daemon's answer.
TEST(KADRequestsTest, TheStubsThatSayWhetherTheDaemonAnsweredSaySo)
{
    struct Case {
        const char* name;
        std::string reply;
        std::function<void(bool*)> call;
    };
    const Case cases[] = {
        {"search", wire::Bytes().U32(0).Str(),
         [](bool* answered) {
             KUIDRing found;
             KADRequests::SearchAssets(nullptr, found, answered);
         }},
        {"name", UnknownRecord(), [](bool* answered) { KADRequests::GetAssetName(kAsset, answered); }},
        {"keywords", UnknownRecord(), [](bool* answered) { KADRequests::GetAssetKeywords(kAsset, answered); }},
        {"builds", wire::Bytes().Text("").Str(), [](bool* answered) { KADRequests::ListBuilds(answered); }},
        {"poll repair", wire::Bytes().U8(0).F32(0).Text("").Str(),
         [](bool* answered) {
             float p = 0;
             Nyx::String s;
             KADRequests::PollRepair(p, s, answered);
         }},
    };
    for (const Case& c : cases) {
        for (const bool lost : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (lost ? " lost" : " answered"));
            // Replies that read as nothing found: only the call tells them
            // from a lost daemon.
            ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> {
                return lost ? Fails() : std::optional<std::string>(c.reply);
            });
            bool answered = lost;
            c.call(&answered);
            EXPECT_EQ(answered, !lost);
            EXPECT_EQ(daemon.Requests().size(), 1u);
        }
    }
}

TEST(KADRequestsTest, ASearchReplyIsReadNoFurtherThanItReaches)
{
    // The count claims a thousand KUIDs; the reply holds two.
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> {
        return wire::Bytes().U32(1000).Kuid(KUID(1, 2, 0)).Kuid(KUID(3, 4, 0)).Str();
    });
    KUIDRing found;
    EXPECT_FALSE(KADRequests::SearchAssets(nullptr, found));
    ASSERT_EQ(found.Count(), 2u);
    EXPECT_EQ(*found.IteratorAt(1), KUID(3, 4, 0));

    KUIDRing deps;
    EXPECT_TRUE(KADRequests::GetObsoletes(kAsset, deps));
    EXPECT_EQ(deps.Count(), 2u);
}

TEST(KADRequestsTest, TheLastReleaseClosesTheHandleOnce)
{
    ScriptedDaemon daemon([](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 30)
            return OpenReply(kHandle);
        return wire::Bytes().U8(1).U8(0).Str();
    });
    {
        AssetHandleRef first = KADRequests::OpenAsset(kAsset, true, nullptr);
        ASSERT_TRUE(first.IsValid());
        EXPECT_TRUE(first.IsEdit());
        EXPECT_EQ(first->refCount, 1u);
        AssetHandleRef second = first;
        AssetHandleRef third;
        third = second;
        EXPECT_EQ(first->refCount, 3u);
        // Revert takes a copy and drops it; the caller's reference stays.
        EXPECT_TRUE(KADRequests::RevertAsset(second, nullptr));
        EXPECT_EQ(first->refCount, 3u);
        second.Release();
        third = AssetHandleRef();
        EXPECT_EQ(daemon.Count(31), 0);
    }
    ASSERT_EQ(daemon.Count(31), 1);
    EXPECT_EQ(daemon.Requests().back().payload, wire::Bytes().U64(kHandle).Str());
}

TEST(KADRequestsTest, TheFolderIsAskedOnlyWhileItIsNotKnown)
{
    ScriptedDaemon daemon([](uint32_t number, const std::string&) -> std::optional<std::string> {
        switch (number) {
        case 30:
            return OpenReply(kHandle, "/content/old");
        case 32:
            return wire::Bytes().Text("moved").Text("/content/new").Str();
        case 34:
            return wire::Bytes().U8(1).U8(1).Str();
        default:
            return std::string();
        }
    });
    AssetHandleRef ref = KADRequests::OpenAsset(kAsset, true, nullptr);
    Nyx::PString name;
    Nyx::File::Path folder;
    EXPECT_TRUE(KADRequests::GetAssetFolder(ref, name, folder));
    EXPECT_EQ(folder.View(), "/content/old");
    EXPECT_EQ(daemon.Count(32), 0);

    bool second = false;
    EXPECT_TRUE(KADRequests::CommitAsset(ref, 0, nullptr, &second));
    EXPECT_TRUE(second);
    EXPECT_FALSE(ref.IsEdit());
    EXPECT_EQ(daemon.Requests().back().payload, wire::Bytes().U64(kHandle).U32(0).Str());

    EXPECT_TRUE(KADRequests::GetAssetFolder(ref, name, folder));
    EXPECT_TRUE(KADRequests::GetAssetFolder(ref, name, folder));
    EXPECT_EQ(daemon.Count(32), 1);
    EXPECT_EQ(folder.View(), "/content/new");
    EXPECT_EQ(name.View(), "moved");

    // Without a handle nothing is sent.
    AssetHandleRef none;
    daemon.Clear();
    EXPECT_FALSE(KADRequests::GetAssetFolder(none, name, folder));
    EXPECT_TRUE(folder.Empty());
    EXPECT_FALSE(KADRequests::CommitAsset(none, 0, nullptr));
    EXPECT_FALSE(KADRequests::RevertAsset(none, nullptr));
    EXPECT_TRUE(daemon.Requests().empty());
}

TEST(KADRequestsTest, ACreatedAssetCarriesTheKUIDOfTheReply)
{
    ScriptedDaemon daemon([](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number == 35)
            return wire::Bytes().U64(kHandle).Kuid(KUID(77, 900, 0)).Text("new").Text("/content/new").Str();
        return std::string();
    });
    AssetHandleRef ref = KADRequests::CreateAsset(KUID::Null, 1, Nyx::String());
    ASSERT_TRUE(ref.IsValid());
    EXPECT_TRUE(ref.IsEdit());
    EXPECT_EQ(ref->kuid, KUID(77, 900, 0));
    EXPECT_TRUE(ref->folderKnown);
    EXPECT_EQ(ref->folder.View(), "/content/new");
}

TEST(KADRequestsTest, AFinishedFetchIsNotPolledAgain)
{
    int polls = 0;
    ScriptedDaemon daemon([&](uint32_t number, const std::string&) -> std::optional<std::string> {
        if (number != 232)
            return std::string();
        ++polls;
        if (polls == 1)
            return wire::Bytes().U8(0).U32(1).U32(2).U32(3).Str();
        if (polls == 2)
            return std::nullopt;
        // Cut after the done flag's place: reads as done.
        return std::string();
    });
    URLFetch fetch;
    fetch.handle = kHandle;
    URLFetchPoll poll;
    KADRequests::PollURLFetchRequest(fetch, poll);
    EXPECT_EQ(poll.done, 0);
    EXPECT_EQ(poll.value1, 2);
    EXPECT_EQ(fetch.last.value1, 2);

    // A failed call gives a cleared record and keeps the last one.
    KADRequests::PollURLFetchRequest(fetch, poll);
    EXPECT_EQ(poll.value1, 0);
    EXPECT_EQ(fetch.last.value1, 2);

    EXPECT_TRUE(KADRequests::PollURLFetchAlt(fetch));
    EXPECT_EQ(polls, 3);
    EXPECT_TRUE(KADRequests::PollURLFetchAlt(fetch));
    EXPECT_EQ(KADRequests::PollURLFetch(fetch), 0);
    EXPECT_EQ(polls, 3);
}

TEST(KADRequestsTest, AuthorNamesAreAskedOncePerId)
{
    ClearAuthorNames();
    bool up = false;
    ScriptedDaemon daemon([&](uint32_t, const std::string& payload) -> std::optional<std::string> {
        if (!up)
            return std::nullopt;
        if (payload == wire::Bytes().U32(7).Str())
            return wire::Bytes().U32(1).Text("Builtin Works").Str();
        return wire::Bytes().U32(0).Str();
    });
    // A failed call is not remembered.
    EXPECT_TRUE(GetAuthorName(7).Empty());
    up = true;
    EXPECT_EQ(GetAuthorName(7).View(), "builtin works");
    EXPECT_EQ(GetAuthorName(7).View(), "builtin works");
    EXPECT_TRUE(GetAuthorName(12).Empty());
    EXPECT_TRUE(GetAuthorName(12).Empty());
    EXPECT_EQ(daemon.Count(90), 3);
    ClearAuthorNames();
}

TEST(KADRequestsTest, TheScriptPathAndClassComeFromTheConfig)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> tags;
        bool found;
        const char* path;
        const char* className;
    };
    const Case cases[] = {
        {{{"script", "scripts/loco.gsl"}, {"class", "Loco"}}, true, "scripts/loco.gs", "Loco"},
        {{{"scriptlibrary", "lib"}, {"scriptclass", "Lib"}}, true, "lib.gs", "Lib"},
        {{{"script", "scripts/loco"}}, true, "scripts/loco.gs", "scripts/loco"},
        {{{"class", "Loco"}}, false, "", "Loco"},
        {{{"kind", "traincar"}}, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ChunkRef tree;
        for (const auto& [tag, text] : c.tags)
            TDBContainerTag::SetString(tree, Nyx::PString(tag), Nyx::PString(text));
        wire::Output reply;
        WriteBinaryConfig(reply.stream, tree);
        const std::string bytes = reply.Str();
        ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return bytes; });
        Nyx::File::Path path;
        Nyx::PString className;
        EXPECT_EQ(KADRequests::GetAssetScriptPath(kAsset, path, className), c.found);
        EXPECT_EQ(path.View(), c.path);
        EXPECT_EQ(className.View(), c.className);
    }
    // No config at all.
    ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> { return std::nullopt; });
    Nyx::File::Path path;
    Nyx::PString className;
    EXPECT_FALSE(KADRequests::GetAssetScriptPath(kAsset, path, className));
}

TEST(KADRequestsTest, ExportAssetReadsTheEntryTree)
{
    ChunkRef entry;
    TDBContainerTag::SetKUID(entry, Nyx::PString("kuid"), kAsset);
    TDBContainerTag::SetString(entry, Nyx::PString("compression"), Nyx::PString("LZSS"));
    wire::Output reply;
    WriteBinaryConfig(reply.stream, entry);
    const std::string bytes = reply.Str();
    {
        ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return bytes; });
        ChunkRef got = KADRequests::ExportAsset(kAsset, 0, nullptr);
        ASSERT_TRUE(got);
        EXPECT_EQ(TDBContainerTag::GetKUID(got, Nyx::PString("kuid"), KUID::Null), kAsset);
        EXPECT_EQ(TDBContainerTag::GetString(got, Nyx::PString("compression")).View(), "LZSS");
    }
    // A failed call and a reply cut inside the tree both give no entry.
    {
        ScriptedDaemon daemon([](uint32_t, const std::string&) -> std::optional<std::string> { return std::nullopt; });
        EXPECT_FALSE(KADRequests::ExportAsset(kAsset, 0, nullptr));
    }
    {
        const std::string cut = bytes.substr(0, bytes.size() - 3);
        ScriptedDaemon daemon([&](uint32_t, const std::string&) -> std::optional<std::string> { return cut; });
        EXPECT_FALSE(KADRequests::ExportAsset(kAsset, 0, nullptr));
    }
}

}  // namespace
