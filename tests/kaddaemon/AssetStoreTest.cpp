// The stand-in's asset store and its requests, asked through the tool's own
// client against the stand-in served in this process (and, for the crash
// case, as its own process): what each request answers, what reaches the
// disk, and what survives a restart or a kill.
#include "kaddaemon/AssetStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "config/formats/BinaryConfig.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/KUIDListWire.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/RawDaemonClient.h"
#include "kaddaemon/StoreRequests.h"
#include "support/StandInDaemon.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace clienttest;

const KUID kEngine(400001, 101, 0);
const KUID kWagon(400001, 102, 2);
const KUID kWagonOld(400001, 102, 1);
const KUID kStation(400001, 103, 0);
const KUID kTrack(400001, 104, 0);
const KUID kNobody(777, 5, 0);

std::string Text(const KUID& kuid) { return kuid.ToString().c_str(); }

void WriteFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string AssetConfig(const KUID& kuid, const std::string& name, const std::string& kind,
                        const std::string& category, const std::string& extra = {})
{
    return "kuid " + Text(kuid) + "\nusername \"" + name + "\"\nkind \"" + kind + "\"\ncategory-class \"" +
           category + "\"\n" + extra;
}

// Four assets under "local", one of them in two versions, plus things the
// scan must pass over.
void LayOut(const std::string& root)
{
    WriteFile(root + "/local/engine/config.txt",
              AssetConfig(kEngine, "Blue tank engine", "traincar", "VE;LOC",
                          "category-region \"Moorland\"\ncategory-era \"1920s\"\nkestro-build 3.5\n"
                          "description \"Small and blue.\"\nparent " + Text(kStation) +
                              "\nkuid-table\n{\n  0 " + Text(kTrack) + "\n  1 " + Text(kStation) + "\n}\n"));
    WriteFile(root + "/local/wagon-old/config.txt", AssetConfig(kWagonOld, "Coal wagon", "traincar", "VE;WAG"));
    WriteFile(root + "/local/wagon/config.txt",
              AssetConfig(kWagon, "Coal wagon", "traincar", "VE;WAG",
                          "obsolete-table\n{\n  0 " + Text(kWagonOld) + "\n}\n"));
    WriteFile(root + "/local/station/config.txt", AssetConfig(kStation, "Brick station", "buildable", "BD;STN"));
    WriteFile(root + "/local/track/config.txt", AssetConfig(kTrack, "Mainline track", "track", "TR"));
    // An asset's own subfolder is one of its files, not another asset.
    WriteFile(root + "/local/track/spare/config.txt", AssetConfig(kNobody, "Hidden", "track", "TR"));
    // A folder without a config is no asset.
    WriteFile(root + "/local/empty/readme.txt", "nothing here");
}

std::string U8(uint8_t v) { return std::string(1, char(v)); }

std::string U64(uint64_t v) { return U32(uint32_t(v)) + U32(uint32_t(v >> 32)); }

std::string Str(const std::string& text) { return text.empty() ? U32(0) : U32(uint32_t(text.size() + 1)) + text + '\0'; }

std::vector<KUID> KUIDs(const std::string& reply)
{
    Bytes bytes(reply);
    uint32_t count = 0;
    bytes.Stream().ReadInt32(count, 0u);
    std::vector<KUID> out;
    for (uint32_t i = 0; i < count && i < 1000; ++i) {
        KUID kuid;
        ReadKUID(bytes.Stream(), kuid);
        out.push_back(kuid);
    }
    return out;
}

class AssetStoreTest : public StandInStoreClient {
protected:
    AssetStoreTest()
    {
        LayOut(root_);
        OpenStore();
    }

    std::string Ask(uint32_t number, const std::string& payload, ResultsLog* log = nullptr)
    {
        std::string reply;
        EXPECT_TRUE(Call(number, payload, &reply, nullptr, log)) << number;
        return reply;
    }

    AssetRecord Info(const KUID& kuid)
    {
        Bytes reply(Ask(21, KUIDBytes(kuid) + U32(0xFFFFFFFFu)));
        AssetRecord record;
        AssetRecord::Parse(reply.Stream(), record);
        EXPECT_EQ(reply.Stream().GetError(), 0);
        return record;
    }

    std::vector<KUID> Search(const KADFilterElement& filter)
    {
        Bytes payload;
        WriteFilterElement(payload.Stream(), &filter);
        return KUIDs(Ask(2, payload.Text()));
    }

    // Handle, name and path of a request 30 or 35 reply.
    struct Opened {
        uint64_t handle = 0;
        std::string name;
        std::string path;
    };
    static Opened ReadOpened(const std::string& reply, bool withKUID)
    {
        Bytes bytes(reply);
        Opened out;
        bytes.Stream().ReadUInt64(out.handle, 0);
        if (withKUID) {
            KUID ignored;
            ReadKUID(bytes.Stream(), ignored);
        }
        Nyx::PString name;
        Nyx::String path;
        bytes.Stream().ReadPString(name);
        bytes.Stream().ReadString(path);
        out.name = name.c_str();
        out.path = path.c_str();
        return out;
    }
};

TEST_F(AssetStoreTest, TheRecordCarriesTheConfigAndAnUnknownAssetTheSameLayoutUnknown)
{
    AssetRecord record = Info(kEngine);
    EXPECT_TRUE(record.known);
    EXPECT_EQ(record.kuid, kEngine);
    EXPECT_STREQ(record.displayName.c_str(), "Blue tank engine");
    EXPECT_STREQ(record.regionText.c_str(), "Moorland");
    EXPECT_STREQ(record.eraText.c_str(), "1920s");
    EXPECT_STREQ(record.categoryText.c_str(), "VE;LOC");
    EXPECT_EQ(record.authorId, 400001);
    EXPECT_FLOAT_EQ(record.build, 3.5f);
    EXPECT_EQ(record.parentKUID, kStation);
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_FALSE(record.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_NE(record.modifiedTime, 0u);

    AssetRecord unknown = Info(kNobody);
    EXPECT_FALSE(unknown.known);
    EXPECT_EQ(unknown.kuid, kNobody);
    // The subfolder of an asset was not taken for one.
    EXPECT_EQ(Search(KADFilterElementString(KADFilterElementString::kAssetName, "Hidden")).size(), 0u);
}

TEST_F(AssetStoreTest, LookupsAnswerFromTheIndex)
{
    // The config, in binary form.
    Bytes config(Ask(20, KUIDBytes(kStation)));
    ChunkRef tree;
    ASSERT_TRUE(ReadBinaryConfig(config.Stream(), tree));
    EXPECT_EQ(kaddaemon::TagText(tree, "kind"), "buildable");
    EXPECT_TRUE(Ask(20, KUIDBytes(kNobody)).empty());

    struct Case {
        uint32_t number;
        KUID asked;
        KUID answer;
    } cases[] = {
        {27, kWagonOld, kWagon}, {27, KUID(400001, 102, 9), kWagon}, {27, kNobody, kNobody},
        {26, kWagonOld, kWagonOld}, {26, KUID(400001, 102, 9), kWagon}, {26, kNobody, kNobody},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.number) + " " + Text(c.asked));
        Bytes reply(Ask(c.number, KUIDBytes(c.asked)));
        KUID got;
        ReadKUID(reply.Stream(), got);
        EXPECT_EQ(got, c.answer);
    }

    Bytes description(Ask(28, KUIDBytes(kEngine)));
    Nyx::String text;
    description.Stream().ReadString(text);
    EXPECT_STREQ(text.c_str(), "Small and blue.");

    EXPECT_EQ(KUIDs(Ask(42, U32(2) + KUIDBytes(kEngine) + KUIDBytes(kNobody))), (std::vector<KUID>{kTrack, kStation}));
    EXPECT_EQ(KUIDs(Ask(43, KUIDBytes(kWagon))), (std::vector<KUID>{kWagonOld}));

    Bytes path(Ask(23, KUIDBytes(kTrack) + U8(0)));
    Nyx::PString name;
    Nyx::String folder;
    path.Stream().ReadPString(name);
    path.Stream().ReadString(folder);
    EXPECT_STREQ(name.c_str(), "Mainline track");
    EXPECT_EQ(std::string(folder.c_str()), root_ + "/local/track");

    EXPECT_EQ(Ask(181, ""), U8(1));
    // A status word of 1 (-1 would be "not known"), then the name.
    EXPECT_EQ(Ask(90, U32(12345)), U32(1) + Str("author-12345"));
    // A number the store does not answer gets an empty reply.
    EXPECT_TRUE(Ask(77, KUIDBytes(kEngine)).empty());
}

TEST_F(AssetStoreTest, SearchCombinesCategoriesNamesNegationAndStates)
{
    using S = KADFilterElementString;
    using B = KADFilterElementBool;
    EXPECT_EQ(Search(S(S::kCategoryList, "VE;-LOC|TR")), (std::vector<KUID>{kWagonOld, kWagon, kTrack}));
    EXPECT_EQ(Search(S(S::kAssetName, "TANK")), (std::vector<KUID>{kEngine}));
    EXPECT_EQ(Search(S(S::kAssetName, "\"Coal\"")).size(), 0u);  // whole name asked
    EXPECT_EQ(Search(B(B::kObsolete)), (std::vector<KUID>{kWagonOld}));

    // Vehicles that are not obsolete: a group with a negated group inside.
    KADFilterElementGroup group(std::make_unique<S>(S::kCategoryList, "VE"));
    KADFilterElementGroup::AddGroup(group, std::make_unique<B>(B::kObsolete));
    EXPECT_EQ(Search(group), (std::vector<KUID>{kEngine, kWagon}));

    // A filter that does not read is an error, with an empty list.
    ResultsLog log;
    EXPECT_EQ(KUIDs(Ask(2, U32(0x12345678), &log)).size(), 0u);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"The search filter does not read."}));
}

TEST_F(AssetStoreTest, EveryBoolFieldAnswersFromTheAssetsStateAndConfig)
{
    const KUID kindless(400001, 105, 0);  // faulty: no kind, and no name either
    const KUID needy(400001, 106, 0);     // needs an asset nobody has
    const KUID crane(400001, 107, 0);     // needs the faulty one, and an older wagon
    const KUID signal(400001, 108, 0);    // its script's source is there; needs a newer engine
    const KUID consist(400001, 109, 0);   // no category of its own
    const KUID fresh(400001, 200, 0);     // created, never committed
    WriteFile(root_ + "/local/kindless/config.txt", "kuid " + Text(kindless) + "\n");
    WriteFile(root_ + "/local/needy/config.txt",
              AssetConfig(needy, "Needy", "scenery", "SY",
                          "script \"needy\"\nkuid-table\n{\n  0 " + Text(kNobody) + "\n  1 " + Text(kStation) + "\n}\n"));
    WriteFile(root_ + "/local/crane/config.txt",
              AssetConfig(crane, "Crane", "scenery", "SY",
                          "kuid-table\n{\n  0 " + Text(kindless) + "\n  1 " + Text(KUID(400001, 102, 0)) + "\n}\n"));
    WriteFile(root_ + "/local/signal/config.txt",
              AssetConfig(signal, "Signal", "scenery", "TO",
                          "script \"signal\"\nkuid-table\n{\n  0 " + Text(KUID(400001, 101, 3)) + "\n}\n"));
    WriteFile(root_ + "/local/signal/signal.gs", "class Signal isclass MapObject {};\n");
    WriteFile(root_ + "/local/consist/config.txt",
              "kuid " + Text(consist) + "\nusername \"Express\"\nkind \"consist\"\n");
    ASSERT_TRUE(store_->Open());
    ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);
    ReadOpened(Ask(35, KUIDBytes(fresh) + U8(0) + Str("New signal box")), true);

    const std::vector<KUID> installed = {kEngine, kWagonOld, kWagon, kStation, kTrack,
                                         kindless, needy, crane, signal, consist};
    const std::vector<KUID> none;
    using B = KADFilterElementBool;
    struct Case {
        uint32_t field;
        std::vector<KUID> matches;
    } cases[] = {
        {B::kLocal, installed},
        {B::kFetchery, none},
        {B::kLocationUnknown, none},
        {B::kLocallyAvailable, installed},
        {B::kUpToDate, {kEngine, kWagon, kStation, kTrack, kindless, needy, crane, signal, consist, fresh}},
        {B::kObsolete, {kWagonOld}},
        {B::kLocallyModified, none},  // open for edit is not modified yet
        {B::kValidName, {kEngine, kWagonOld, kWagon, kStation, kTrack, needy, crane, signal, consist, fresh}},
        {B::kOpenForEdit, {kStation, fresh}},
        {B::kInArchive, none},
        {B::kLocallyEnabled, installed},
        {B::kHasMissingDependencies, {needy, signal}},
        {B::kHasFaultyDependencies, {crane}},
        {B::kFaulty, {kindless, fresh}},
        {B::kFromTintery, none},
        {B::kBuiltin, none},
        {B::kListingPrivilege, installed},
        {B::kWarnings, none},
        {B::kHasScriptSource, {signal}},
        {19, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(B(c.field).GetFieldName().c_str());
        EXPECT_EQ(Search(B(c.field)), c.matches);
    }
    // A kind stands for its category codes when the config names none.
    EXPECT_EQ(Search(KADFilterElementString(KADFilterElementString::kCategoryList, "CN")), (std::vector<KUID>{consist}));
}

TEST_F(AssetStoreTest, EachRecordFlagComesFromItsOwnSource)
{
    // Each asset differs from a plain installed one in one thing. Flag 0 is
    // the record's default, which the store leaves; archived (7), online
    // (6) and built-in (4) assets the store has none of.
    const KUID kindless(400001, 105, 0);
    const KUID needy(400001, 106, 0);
    const KUID fresh(400001, 200, 0);
    WriteFile(root_ + "/local/kindless/config.txt", "kuid " + Text(kindless) + "\nusername \"Kindless\"\n");
    WriteFile(root_ + "/local/needy/config.txt",
              AssetConfig(needy, "Needy", "scenery", "SY", "kuid-table\n{\n  0 " + Text(kNobody) + "\n}\n"));
    ASSERT_TRUE(store_->Open());
    ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);
    ReadOpened(Ask(35, KUIDBytes(fresh) + U8(0) + Str("Signal box")), true);
    Opened wagon = ReadOpened(Ask(30, KUIDBytes(kWagon) + U8(1)), false);
    WriteFile(wagon.path + "/config.txt", AssetConfig(kWagon, "Ore wagon", "traincar", "VE;WAG"));
    Ask(34, U64(wagon.handle) + U32(0));

    const std::pair<KUID, std::vector<uint32_t>> cases[] = {
        {kTrack, {0, 3}},         // installed
        {kWagonOld, {0, 3}},      // obsolete has no flag of its own
        {kStation, {0, 3, 8}},    // open for edit
        {fresh, {0, 8, 9}},       // only created: no kind yet
        {kWagon, {0, 2, 3}},      // changed by a commit
        {kindless, {0, 3, 9}},    // no kind
        {needy, {0, 3, 11}},      // a dependency is not installed
        {kEngine, {0, 3, 18}},    // its dependencies are; it gives its build
    };
    auto check = [&](const char* when, auto record) {
        for (const auto& [kuid, set] : cases) {
            SCOPED_TRACE(std::string(when) + " " + Text(kuid));
            AssetRecord r = record(kuid);
            // An asset never committed does not outlive the daemon's run.
            if (kuid == fresh && std::string(when) == "restarted") {
                EXPECT_FALSE(r.known);
                continue;
            }
            EXPECT_TRUE(r.known);
            std::vector<uint32_t> flags;
            for (uint32_t i = 0; i < AssetRecord::kFlagCount; ++i)
                if (r.GetFlag(i))
                    flags.push_back(i);
            EXPECT_EQ(flags, set);
        }
    };
    check("served", [this](const KUID& kuid) { return Info(kuid); });
    store_->ReleaseRoot();  // as the daemon before ends
    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    check("restarted", [&again](const KUID& kuid) { return again.Record(kuid); });
}

TEST_F(AssetStoreTest, EditCommitAndRevertMoveFoldersAndReplyOnlyAfterTheDisk)
{
    Opened first = ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);
    ASSERT_NE(first.handle, kaddaemon::AssetStore::kNoHandle);
    EXPECT_EQ(first.path, root_ + "/editing/station");
    EXPECT_TRUE(fs::exists(first.path + "/config.txt"));
    // The copy is made once: a second edit shares it and keeps its changes.
    WriteFile(first.path + "/config.txt", AssetConfig(kStation, "Stone station", "buildable", "BD;STN"));
    Opened second = ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);
    EXPECT_EQ(second.path, first.path);
    EXPECT_NE(ReadFile(second.path + "/config.txt").find("Stone"), std::string::npos);
    EXPECT_TRUE(Info(kStation).GetFlag(AssetRecord::kFlagOpenForEdit));

    Bytes folder(Ask(32, U64(first.handle)));
    Nyx::PString name;
    folder.Stream().ReadPString(name);
    EXPECT_STREQ(name.c_str(), "Brick station");

    Bytes committed(Ask(34, U64(first.handle) + U32(0)));
    bool ok = false;
    committed.Stream().ReadBool(ok, false);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::exists(first.path));
    EXPECT_NE(ReadFile(root_ + "/local/station/config.txt").find("Stone"), std::string::npos);
    AssetRecord after = Info(kStation);
    EXPECT_STREQ(after.displayName.c_str(), "Stone station");
    EXPECT_FALSE(after.GetFlag(AssetRecord::kFlagOpenForEdit));

    // Committing again: nothing is open for edit, and the log says so.
    ResultsLog log;
    Bytes again(Ask(34, U64(first.handle) + U32(0), &log));
    again.Stream().ReadBool(ok, true);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"The asset is not open for edit."}));

    // Revert drops the working copy and the installed folder stays.
    Opened third = ReadOpened(Ask(30, KUIDBytes(kTrack) + U8(1)), false);
    Bytes reverted(Ask(33, U64(third.handle)));
    reverted.Stream().ReadBool(ok, false);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::exists(third.path));
    EXPECT_TRUE(fs::exists(root_ + "/local/track/config.txt"));
    Ask(31, U64(third.handle));
}

TEST_F(AssetStoreTest, ACommitOfAnAssetNotOpenForEditFailsAndLeavesItAsItWas)
{
    auto commit = [this](uint64_t handle, ResultsLog* log) {
        Bytes reply(Ask(34, U64(handle) + U32(0), log));
        bool ok = false, second = true;
        reply.Stream().ReadBool(ok, false);
        reply.Stream().ReadBool(second, true);
        EXPECT_FALSE(second);
        return ok;
    };
    const std::string installed = ReadFile(root_ + "/local/track/config.txt");

    // Open for edit and commit at once, as "commit" does for an asset that
    // was never opened for edit: refused, and no working copy stays.
    Opened opened = ReadOpened(Ask(30, KUIDBytes(kTrack) + U8(1)), false);
    ResultsLog log;
    EXPECT_FALSE(commit(opened.handle, &log));
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"The asset is not open for edit."}));
    EXPECT_FALSE(fs::exists(opened.path));
    EXPECT_FALSE(Info(kTrack).GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_EQ(ReadFile(root_ + "/local/track/config.txt"), installed);
    EXPECT_FALSE(commit(opened.handle, nullptr));

    // The handle that made the copy and changed it commits it.
    Opened own = ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);
    WriteFile(own.path + "/extra.txt", "more");
    EXPECT_TRUE(commit(own.handle, nullptr));
    EXPECT_EQ(ReadFile(root_ + "/local/station/extra.txt"), "more");
}

TEST_F(AssetStoreTest, CreateWritesKUIDAndNameAndARevertLeavesNothing)
{
    const KUID fresh(400001, 200, 0);
    Opened created = ReadOpened(Ask(35, KUIDBytes(fresh) + U8(0) + Str("New signal box")), true);
    ASSERT_NE(created.handle, kaddaemon::AssetStore::kNoHandle);
    std::string config = ReadFile(created.path + "/config.txt");
    EXPECT_NE(config.find("kuid " + Text(fresh)), std::string::npos);
    EXPECT_NE(config.find("username \"New signal box\""), std::string::npos);
    EXPECT_TRUE(Info(fresh).known);
    EXPECT_FALSE(Info(fresh).GetFlag(AssetRecord::kFlagInstalled));

    Ask(33, U64(created.handle));
    EXPECT_FALSE(fs::exists(created.path));
    EXPECT_FALSE(Info(fresh).known);

    // A name beyond ASCII reads back as written: the file says it is UTF-8,
    // or the reader would take it for ANSI and encode it once more.
    const KUID accented(400001, 201, 0);
    Opened named = ReadOpened(Ask(35, KUIDBytes(accented) + U8(0) + Str("Caf\xC3\xA9")), true);
    ChunkRef written;
    ASSERT_TRUE(LoadConfigFile(written, nullptr, (named.path + "/config.txt").c_str()));
    EXPECT_EQ(std::string(TDBContainerTag::GetString(written, Nyx::PString("username")).View()), "Caf\xC3\xA9");
    Ask(33, U64(named.handle));

    // An existing KUID cannot be created again.
    ResultsLog log;
    Opened refused = ReadOpened(Ask(35, KUIDBytes(kTrack) + U8(0) + Str("Copy"), &log), true);
    EXPECT_EQ(refused.handle, kaddaemon::AssetStore::kNoHandle);
    EXPECT_EQ(Texts(log).size(), 1u);

    // Created, given a kind, committed: installed under "local".
    Opened made = ReadOpened(Ask(35, KUIDBytes(fresh) + U8(0) + Str("Signal box")), true);
    WriteFile(made.path + "/config.txt", AssetConfig(fresh, "Signal box", "buildable", "BD"));
    Ask(34, U64(made.handle) + U32(0));
    EXPECT_TRUE(Info(fresh).GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_TRUE(fs::exists(root_ + "/local/signal-box/config.txt"));
}

// Asks on a connection of its own, which the caller can end at will.
std::string AskOn(RawDaemonClient& raw, uint32_t number, uint32_t id, const std::string& payload)
{
    if (!raw.SendRequest(number, id, payload))
        return {};
    uint32_t tag = 0, second = 0;
    std::string reply;
    while (raw.ReadFrame(tag, second, reply))
        if (tag == DaemonWire::kTagReply && second == id)
            return reply;
    return {};
}

TEST_F(AssetStoreTest, WhatAClientCreatedAndLeftUncommittedGoesWithItsConnection)
{
    const KUID left(400001, 210, 0), kept(400001, 211, 0);
    struct Case {
        const char* what;
        KUID kuid;
        uint32_t number;
        std::string payload;
        bool commit;
        bool known;    // once the connection has ended
        bool editing;  // open for edit then
    } cases[] = {
        {"created", left, 35, KUIDBytes(left) + U8(0) + Str("Left behind"), false, false, false},
        {"created and committed", kept, 35, KUIDBytes(kept) + U8(0) + Str("Kept"), true, true, false},
        {"opened for edit", kStation, 30, KUIDBytes(kStation) + U8(1), false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            RawDaemonClient raw;
            ASSERT_TRUE(raw.Connect(server_.Port()) && raw.Handshake(root_));
            Opened opened = ReadOpened(AskOn(raw, c.number, 1, c.payload), c.number == 35);
            ASSERT_NE(opened.handle, kaddaemon::AssetStore::kNoHandle);
            if (c.commit) {
                WriteFile(opened.path + "/config.txt", AssetConfig(c.kuid, "Kept", "buildable", "BD"));
                AskOn(raw, 34, 2, U64(opened.handle) + U32(0));
            }
        }
        EXPECT_TRUE(WaitFor([&]() {
            AssetRecord record = Info(c.kuid);
            return record.known == c.known && record.GetFlag(AssetRecord::kFlagOpenForEdit) == c.editing;
        }));
    }
    EXPECT_EQ(FolderNames(root_ + "/editing"), std::vector<std::string>{"station"});
}

TEST_F(AssetStoreTest, AnInstallACrashCutShortIsRolledBackAtTheNextStart)
{
    // What a daemon killed part-way through two installs leaves behind: a
    // client's new asset and a folder the daemon was filling.
    const KUID fresh(400001, 220, 0);
    const std::string editing = root_ + "/editing/";
    WriteFile(editing + kaddaemon::AssetStore::kCreatedPrefix + "new-shed/config.txt",
              AssetConfig(fresh, "New shed", "buildable", "BD"));
    WriteFile(editing + kaddaemon::AssetStore::kInstallingPrefix + "4-track/config.txt",
              AssetConfig(kTrack, "Half track", "track", "TR"));
    // A working copy the user opened stays open.
    ReadOpened(Ask(30, KUIDBytes(kWagon) + U8(1)), false);

    store_->ReleaseRoot();  // as the daemon before ends

    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    EXPECT_FALSE(again.IsKnown(fresh));
    AssetRecord track = again.Record(kTrack);
    EXPECT_TRUE(track.GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_FALSE(track.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_STREQ(track.displayName.c_str(), "Mainline track");
    EXPECT_TRUE(again.Record(kWagon).GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_EQ(FolderNames(editing), std::vector<std::string>{"wagon"});
}

TEST_F(AssetStoreTest, ARepairWhileServingLeavesTheInstallsInProgressAlone)
{
    const KUID fresh(400001, 221, 0);
    Opened made = ReadOpened(Ask(35, KUIDBytes(fresh) + U8(0) + Str("Shed")), true);
    const std::string filling = store_->InstallingFolder("track");
    WriteFile(filling + "/config.txt", AssetConfig(kTrack, "Relaid track", "track", "TR"));
    ASSERT_TRUE(store_->Repair({}));
    EXPECT_TRUE(Info(fresh).known);
    EXPECT_TRUE(fs::exists(made.path + "/config.txt"));
    EXPECT_STREQ(Info(kTrack).displayName.c_str(), "Mainline track");
    ASSERT_TRUE(store_->InstallFolder(kTrack, "track", filling, 1).ok);
    EXPECT_STREQ(Info(kTrack).displayName.c_str(), "Relaid track");
    EXPECT_FALSE(fs::exists(filling));
}

// What a crash seems to have left may be the work under way of the daemon
// that holds the root and still runs: a store without the root's lock
// serves nothing and names the holder, and the store that holds it clears
// what a crash left of working copies and installs. Folders in the trash
// are only trash, whatever they are called: with no record of a change
// cut short, nothing is put back from there.
TEST_F(AssetStoreTest, OnlyTheStoreHoldingTheRootServesItAndClearsWhatACrashLeft)
{
    const KUID shed(400001, 230, 0);
    const std::string installing = root_ + "/editing/" + kaddaemon::AssetStore::kInstallingPrefix + "9-big";
    const std::string copying = root_ + "/editing/" + kaddaemon::AssetStore::kUnfinishedPrefix + "engine";
    const std::string aside = root_ + "/trash/" + kaddaemon::AssetStore::kReplacingPrefix + "shed";
    WriteFile(installing + "/config.txt", AssetConfig(kTrack, "Half track", "track", "TR"));
    WriteFile(copying + "/config.txt", AssetConfig(kEngine, "Half engine", "traincar", "VE;LOC"));
    WriteFile(aside + "/config.txt", AssetConfig(shed, "Shed", "buildable", "BD"));

    kaddaemon::AssetStore second(root_);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.OpenError(), "the data root " + root_ + " is held by process " + std::to_string(::getpid()) +
                                      " (test_kaddaemon), which serves it; this daemon does not");
    EXPECT_FALSE(second.IsKnown(kEngine));
    for (const std::string& folder : {installing, copying, aside})
        EXPECT_TRUE(fs::exists(folder)) << folder;

    store_->ReleaseRoot();  // as the daemon before ends
    // Let go, the store changes nothing more.
    EXPECT_EQ(store_->SetKeywords(kEngine, "late").error, "The daemon no longer holds its data root.");
    EXPECT_EQ(store_->Delete(kEngine).error, "The daemon no longer holds its data root.");
    EXPECT_TRUE(fs::exists(root_ + "/local/engine/config.txt"));

    kaddaemon::AssetStore third(root_);
    ASSERT_TRUE(third.Open()) << third.OpenError();
    for (const std::string& folder : {installing, copying})
        EXPECT_FALSE(fs::exists(folder)) << folder;
    EXPECT_TRUE(fs::exists(aside + "/config.txt"));
    EXPECT_FALSE(third.IsKnown(shed));
    EXPECT_TRUE(third.IsKnown(kEngine));
}

// A working copy whose files went while it was made (something cleared
// part of it away) is no copy of the asset: the edit is refused, or a
// commit would install the asset without them.
TEST_F(AssetStoreTest, AnEditWhoseCopyLostFilesWhileItWasMadeIsRefused)
{
    WriteFile(root_ + "/local/track/rails.txt", "steel");
    WriteFile(root_ + "/local/track/sleepers.txt", "oak");
    for (bool lose : {true, false}) {
        SCOPED_TRACE(lose ? "a file goes" : "nothing goes");
        bool gone = false;
        store_->SetCopyObserver([&](const std::string& file) {
            if (lose && !gone && file.ends_with("rails.txt"))
                gone = fs::remove(file);
        });
        std::string name, path, error;
        const uint64_t handle = store_->OpenAsset(kTrack, true, name, path, error);
        store_->SetCopyObserver({});
        EXPECT_EQ(handle == kaddaemon::AssetStore::kNoHandle, lose);
        EXPECT_EQ(error, lose ? "Cannot copy " + Text(kTrack) + " for editing: files of the copy went while it was made."
                              : "");
        EXPECT_EQ(store_->Record(kTrack).GetFlag(AssetRecord::kFlagOpenForEdit), !lose);
        EXPECT_EQ(FolderNames(root_ + "/editing"), lose ? std::vector<std::string>{} : std::vector<std::string>{"track"});
    }
}

// Files that went from a folder while an install filled it (something
// cleared it away part-way) would make an asset without them.
TEST_F(AssetStoreTest, AnInstallWhoseFolderLostFilesOnTheWayIsNotCommitted)
{
    const struct {
        uint64_t written;
        bool installed;
    } cases[] = {{3, false}, {2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::string filling = store_->InstallingFolder("track");
        WriteFile(filling + "/config.txt", AssetConfig(kTrack, "Relaid track " + std::to_string(c.written), "track", "TR"));
        WriteFile(filling + "/rails.txt", "steel");
        kaddaemon::AssetStore::Outcome outcome = store_->InstallFolder(kTrack, "track", filling, c.written);
        EXPECT_EQ(outcome.ok, c.installed) << outcome.error;
        EXPECT_FALSE(fs::exists(filling));
        EXPECT_EQ(std::string(Info(kTrack).displayName.c_str()),
                  c.installed ? "Relaid track 2" : "Mainline track");
    }
}

TEST_F(AssetStoreTest, HostileNamesGiveFoldersRightUnderEditingAndLocal)
{
    // Installed folders whose names a working copy must not keep as they are:
    // a leading dot would hide it, and the unfinished prefix would get it
    // removed at the next start.
    WriteFile(root_ + "/local/..dots/config.txt", AssetConfig(KUID(400001, 120, 0), "Dots", "track", "TR"));
    WriteFile(root_ + "/local/.../config.txt", AssetConfig(KUID(400001, 121, 0), "Only dots", "track", "TR"));
    WriteFile(root_ + "/local/" + kaddaemon::AssetStore::kUnfinishedPrefix + "a/config.txt",
              AssetConfig(KUID(400001, 122, 0), "Unfinished", "track", "TR"));
    ASSERT_TRUE(store_->Open());
    auto topLevel = [this]() {
        std::vector<std::string> top;
        for (const auto& entry : fs::directory_iterator(root_))
            top.push_back(entry.path().filename().string());
        std::sort(top.begin(), top.end());
        return top;
    };
    const std::vector<std::string> top = topLevel();
    // A new asset's folder bears the mark of one not committed yet.
    auto expectPlainFolderIn = [](const std::string& path, const std::string& parent,
                                  const std::string& mark = std::string()) {
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(parent)) << path;
        std::string leaf = fs::path(path).filename().string();
        EXPECT_EQ(leaf.rfind(mark, 0), 0u) << leaf;
        leaf.erase(0, mark.size());
        EXPECT_FALSE(leaf.empty());
        EXPECT_EQ(leaf.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_"), std::string::npos) << leaf;
        EXPECT_TRUE(fs::is_regular_file(path + "/config.txt")) << path;
    };
    auto installedPath = [this](const KUID& kuid) {
        Bytes reply(Ask(23, KUIDBytes(kuid) + U8(0)));
        Nyx::PString name;
        Nyx::String folder;
        reply.Stream().ReadPString(name);
        reply.Stream().ReadString(folder);
        return std::string(folder.c_str());
    };

    const std::string names[] = {"a/../../x", "../x", "..", ".", "/x", "x/", "a\\..\\x", ".hidden",
                                 std::string(kaddaemon::AssetStore::kUnfinishedPrefix) + "b", std::string(300, 'n')};
    int32_t content = 300;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const KUID kuid(400001, content++, 0);
        Opened made = ReadOpened(Ask(35, KUIDBytes(kuid) + U8(0) + Str(name)), true);
        ASSERT_NE(made.handle, kaddaemon::AssetStore::kNoHandle);
        expectPlainFolderIn(made.path, root_ + "/editing", kaddaemon::AssetStore::kCreatedPrefix);
        WriteFile(made.path + "/config.txt", AssetConfig(kuid, "Made", "track", "TR"));
        Ask(34, U64(made.handle) + U32(0));
        expectPlainFolderIn(installedPath(kuid), root_ + "/local");
    }
    for (int32_t c : {120, 121, 122}) {
        SCOPED_TRACE(c);
        Opened copy = ReadOpened(Ask(30, KUIDBytes(KUID(400001, c, 0)) + U8(1)), false);
        ASSERT_NE(copy.handle, kaddaemon::AssetStore::kNoHandle);
        expectPlainFolderIn(copy.path, root_ + "/editing");
    }
    EXPECT_EQ(topLevel(), top);
    // The working copies are still there after a restart.
    store_->ReleaseRoot();  // as the daemon before ends
    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    for (int32_t c : {120, 121, 122})
        EXPECT_TRUE(again.Record(KUID(400001, c, 0)).GetFlag(AssetRecord::kFlagOpenForEdit)) << c;
}

TEST_F(AssetStoreTest, ANullKUIDGetsTheNextFreeKUIDOfTheStoreRangeNeverReused)
{
    using Store = kaddaemon::AssetStore;
    auto own = [](int32_t content) { return KUID(Store::kOwnUser, content, Store::kOwnVersion); };
    // Content 1 of the range is taken by an installed asset the store did
    // not make.
    WriteFile(root_ + "/local/taken/config.txt", AssetConfig(own(1), "Taken", "buildable", "BD"));
    ASSERT_TRUE(store_->Open());

    auto create = [this](const std::string& name, KUID& kuid) {
        Bytes reply(Ask(35, KUIDBytes(KUID::Null) + U8(1) + Str(name)));
        Opened out;
        reply.Stream().ReadUInt64(out.handle, 0);
        ReadKUID(reply.Stream(), kuid);
        Nyx::PString shown;
        Nyx::String path;
        reply.Stream().ReadPString(shown);
        reply.Stream().ReadString(path);
        out.path = path.c_str();
        return out;
    };
    KUID first, second;
    Opened a = create("", first);
    ASSERT_NE(a.handle, Store::kNoHandle);
    EXPECT_EQ(first, own(2));
    std::string folder = fs::path(a.path).filename().string();
    ASSERT_EQ(folder.rfind(Store::kCreatedPrefix, 0), 0u) << folder;
    folder.erase(0, std::string(Store::kCreatedPrefix).size());
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_"), std::string::npos) << folder;
    std::string config = ReadFile(a.path + "/config.txt");
    EXPECT_NE(config.find("kuid " + Text(first)), std::string::npos);
    EXPECT_NE(config.find("username"), std::string::npos);
    EXPECT_TRUE(Info(first).known);

    Opened b = create("Goods train", second);
    EXPECT_EQ(second, own(3));
    // Dropped again: its id is still spent, here and after a restart.
    Ask(33, U64(b.handle));
    EXPECT_FALSE(Info(second).known);

    store_->ReleaseRoot();  // as the daemon before ends

    Store again(root_);
    ASSERT_TRUE(again.Open());
    KUID third = KUID::Null;
    std::string path, error;
    ASSERT_NE(again.Create(third, "", path, error), Store::kNoHandle) << error;
    EXPECT_EQ(third, own(4));
    // A KUID not the store's own is used as given.
    KUID given(400001, 300, 0);
    ASSERT_NE(again.Create(given, "x", path, error), Store::kNoHandle) << error;
    EXPECT_EQ(given, KUID(400001, 300, 0));
}

TEST_F(AssetStoreTest, DeleteMovesToTheTrash)
{
    bool ok = false;
    Bytes deleted(Ask(36, KUIDBytes(kTrack) + U8(0)));
    deleted.Stream().ReadBool(ok, false);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(fs::exists(root_ + "/local/track"));
    EXPECT_TRUE(fs::exists(root_ + "/trash/track/config.txt"));
    EXPECT_FALSE(Info(kTrack).known);

    ResultsLog log;
    Bytes unknown(Ask(36, KUIDBytes(kNobody) + U8(0), &log));
    unknown.Stream().ReadBool(ok, true);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"Unknown asset " + Text(kNobody) + "."}));
}

TEST_F(AssetStoreTest, StateAndWorkingCopiesSurviveARestart)
{
    Ask(54, KUIDBytes(kEngine) + Str("tank;blue"));
    Opened edit = ReadOpened(Ask(30, KUIDBytes(kWagon) + U8(1)), false);
    EXPECT_STREQ(Info(kEngine).keywordText.c_str(), "tank;blue");
    EXPECT_NE(ReadFile(root_ + "/kaddaemon-state.txt").find("tank;blue"), std::string::npos);

    // A second store over the same root: what a restarted daemon sees.
    store_->ReleaseRoot();  // as the daemon before ends
    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    EXPECT_STREQ(again.Record(kEngine).keywordText.c_str(), "tank;blue");
    AssetRecord wagon = again.Record(kWagon);
    EXPECT_TRUE(wagon.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_TRUE(wagon.GetFlag(AssetRecord::kFlagInstalled));
    std::string name, path;
    ASSERT_TRUE(again.NameAndPath(kWagon, true, name, path));
    EXPECT_EQ(path, edit.path);
}

// A keyword record the stand-in cannot read is refused, not stored as the
// empty text it reads as.
TEST_F(AssetStoreTest, KeywordsThatDoNotReadChangeNothing)
{
    Ask(54, KUIDBytes(kEngine) + Str("tank;blue"));
    const std::string records[] = {
        U32(65536) + std::string(65535, 'k') + '\0',  // over the limit, though whole
        U32(10) + "cut",
    };
    for (const std::string& record : records) {
        SCOPED_TRACE(record.size());
        ResultsLog log;
        Ask(54, KUIDBytes(kEngine) + record, &log);
        EXPECT_EQ(Texts(log), std::vector<std::string>{"The keywords do not read."});
        EXPECT_STREQ(Info(kEngine).keywordText.c_str(), "tank;blue");
    }
}

// The longest text a string record carries goes through the client and the
// stand-in whole, and is read back whole; one byte more is not sent.
TEST_F(AssetStoreTest, TheLongestKeywordsARecordCarriesAreSentStoredAndReadBackWhole)
{
    const std::string longest(TStream::kMaxStringRecord - 1, 'k');
    ResultsLog log;
    ASSERT_TRUE(KADRequests::SetKeywords(kEngine, Nyx::String(longest), &log));
    EXPECT_EQ(log.GetResultCount(), 0u);
    EXPECT_EQ(store_->Record(kEngine).keywordText.Str(), longest);
    EXPECT_EQ(KADRequests::GetAssetKeywords(kEngine).Str(), longest);

    const std::string over = longest + "k";
    EXPECT_FALSE(KADRequests::KeywordsFitRecord(Nyx::String(over)));
    EXPECT_FALSE(KADRequests::SetKeywords(kEngine, Nyx::String(over)));
    EXPECT_EQ(KADRequests::GetAssetKeywords(kEngine).Str(), longest);
}

TEST_F(AssetStoreTest, TheModifiedMarkAndTheFavouriteAreKeptAndSurviveARestart)
{
    // The track is changed through an edit and a commit; the station is
    // open for edit, which changes nothing installed yet.
    Opened track = ReadOpened(Ask(30, KUIDBytes(kTrack) + U8(1)), false);
    WriteFile(track.path + "/config.txt", AssetConfig(kTrack, "Branch track", "track", "TR"));
    Ask(34, U64(track.handle) + U32(0));
    ReadOpened(Ask(30, KUIDBytes(kStation) + U8(1)), false);

    auto favour = [this](const KUID& kuid, bool on, ResultsLog* log = nullptr) {
        EXPECT_TRUE(Ask(50, KUIDBytes(kuid) + U8(on ? 1 : 0), log).empty());
    };
    favour(kWagon, true);
    favour(kTrack, true);
    favour(kTrack, false);
    ResultsLog unknown;
    favour(kNobody, true, &unknown);
    EXPECT_EQ(Texts(unknown), (std::vector<std::string>{"Unknown asset " + Text(kNobody) + "."}));

    struct Case {
        KUID kuid;
        bool modified;
        uint8_t favourite;
    } cases[] = {{kEngine, false, 0}, {kWagon, false, 4}, {kStation, false, 0}, {kTrack, true, 0}};
    auto check = [&](const char* when, auto record) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(when) + " " + Text(c.kuid));
            AssetRecord r = record(c.kuid);
            EXPECT_EQ(r.GetFlag(AssetRecord::kFlagLocallyModified), c.modified);
            EXPECT_EQ(r.favouriteState, c.favourite);
        }
    };
    check("served", [this](const KUID& kuid) { return Info(kuid); });
    EXPECT_EQ(Search(KADFilterElementBool(KADFilterElementBool::kLocallyModified)), (std::vector<KUID>{kTrack}));

    store_->ReleaseRoot();  // as the daemon before ends

    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    check("restarted", [&again](const KUID& kuid) { return again.Record(kuid); });
}

TEST(AssetStoreFrames, BadPayloadsGetAnErrorOrAnEmptyReplyNeverACrash)
{
    TempFolder temp;
    LayOut(temp.Path());
    kaddaemon::AssetStore store(temp.Path());
    ASSERT_TRUE(store.Open());
    const std::string payloads[] = {
        "", "\x01", KUIDBytes(kEngine).substr(0, 5), U32(0xFFFFFFFFu), U32(0xFFFFFFFFu) + KUIDBytes(kEngine),
        U32(0x70757267u) + U8(1) + U8(0) + U32(0xFFFFFFFFu),  // a group claiming countless children
        KUIDBytes(kNobody) + U8(1) + U32(0x7FFFFFFFu) + "name",
    };
    const uint32_t numbers[] = {0,  2,  20, 21, 23, 26, 27, 28, 29, 30, 31, 32,
                                33, 34, 35, 36, 42, 43, 50, 54, 90, 181, 253};
    for (uint32_t number : numbers) {
        for (const std::string& payload : payloads) {
            SCOPED_TRACE(std::to_string(number) + " with " + std::to_string(payload.size()) + " bytes");
            Bytes request(payload);
            Bytes reply;
            size_t notes = 0;
            EXPECT_TRUE(kaddaemon::ServeStoreRequest(store, number, 1, request.Stream(), reply.Stream(),
                                                     [&](uint32_t kind, const void*, uint32_t) {
                                                         EXPECT_EQ(kind, 3u);
                                                         ++notes;
                                                     }));
            EXPECT_LE(notes, 1u);
            EXPECT_LT(reply.Text().size(), 4096u);
        }
    }
    // The short payloads named no asset: nothing was created or deleted.
    EXPECT_TRUE(store.IsKnown(kEngine));
    EXPECT_EQ(store.Search(nullptr).size(), 5u);
    Bytes request;
    Bytes reply;
    EXPECT_FALSE(kaddaemon::ServeStoreRequest(store, 1000, 1, request.Stream(), reply.Stream(), nullptr));
    EXPECT_TRUE(reply.Text().empty());
}

// The sample data root the project ships: every asset loads, with its
// category, one of them is open for edit, and the dependency it names is
// installed.
TEST(SampleDataRoot, LoadsWholeWithItsEditAndItsDependency)
{
    TempFolder temp;
    fs::copy(std::string(KESTRO_TEST_DATA_DIR) + "/../../sample", temp.Path(), fs::copy_options::recursive);
    kaddaemon::AssetStore store(temp.Path());
    ASSERT_TRUE(store.Open());
    struct Case {
        KUID kuid;
        const char* category;
        bool editing;
    } cases[] = {
        {KUID(400001, 101, 0), "VE;LOC", false},
        {KUID(400001, 102, 2), "VE;WAG", true},
        {KUID(400001, 103, 0), "BD;STN", false},
        {KUID(400001, 104, 0), "TR", false},
        {KUID(400001, 105, 0), "BD", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.kuid));
        AssetRecord record = store.Record(c.kuid);
        EXPECT_TRUE(record.known);
        EXPECT_STREQ(record.categoryText.c_str(), c.category);
        EXPECT_EQ(record.GetFlag(AssetRecord::kFlagOpenForEdit), c.editing);
        EXPECT_FALSE(record.GetFlag(AssetRecord::kFlagStatusF));
        // The creator is named as "authors" names the author.
        EXPECT_STREQ(record.firstGroupKey.c_str(), "Sample author");
    }
    EXPECT_EQ(store.Search(nullptr).size(), 5u);
    std::vector<KUID> deps = store.Dependencies({KUID(400001, 101, 0)});
    ASSERT_EQ(deps.size(), 1u);
    EXPECT_TRUE(store.IsKnown(deps[0]));
    EXPECT_STREQ(store.Record(KUID(400001, 101, 0)).keywordText.c_str(), "tank;branch;blue");
    // A state file of before the modified mark still loads, its favourite
    // given as the script side reads one.
    EXPECT_EQ(store.Record(KUID(400001, 101, 0)).favouriteState, 4);
    EXPECT_FALSE(store.Record(KUID(400001, 101, 0)).GetFlag(AssetRecord::kFlagLocallyModified));
    EXPECT_EQ(store.AuthorName(400001), "Sample author");
}

// The stand-in as its own process, launched through the client's discovery
// and killed between edit and commit.
class AssetStoreProcessTest : public ::testing::Test {
protected:
    AssetStoreProcessTest() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
    {
        NetStartup();
        LayOut(root_);
        standin::Install(root_);
    }
    ~AssetStoreProcessTest() override
    {
        KADClient::Stop();
        standin::Kill(root_);
        if (paused_ > 0) {
            ::kill(paused_, SIGKILL);
            ::waitpid(paused_, nullptr, 0);
        }
    }

    KADClientSettings Settings() const
    {
        KADClientSettings settings;
        settings.path = root_;
        settings.flags[2] = 0;
        return settings;
    }

    // The asset's record as the serving stand-in tells it.
    static AssetRecord RecordOf(const KUID& kuid)
    {
        std::string reply;
        EXPECT_TRUE(Call(21, KUIDBytes(kuid) + U32(0xFFFFFFFFu), &reply));
        Bytes info(reply);
        AssetRecord record;
        AssetRecord::Parse(info.Stream(), record);
        return record;
    }

    // Starts the stand-in that stops for good at a step (see
    // PausedCopyStandIn.cpp) and waits until it serves; 0 when it does not.
    pid_t StartPaused(const std::string& marker, const char* mode = nullptr)
    {
        std::string program = daemontest::ProgramFolder() + "/kaddaemon_paused_copy";
        std::vector<char*> argv = {program.data(), root_.data(), const_cast<char*>(marker.c_str()),
                                   const_cast<char*>(mode), nullptr};
        if (::posix_spawn(&paused_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            return 0;
        return WaitFor([&]() { return standin::Serving(root_) == uint32_t(paused_); }) ? paused_ : 0;
    }

    TempFolder temp_;
    std::string root_;
    daemontest::DiscoveryCleanup cleanup_;
    pid_t paused_ = 0;
};

TEST_F(AssetStoreProcessTest, AKillBetweenEditAndCommitLosesNothingReplied)
{
    const KADClientSettings settings = Settings();
    ASSERT_TRUE(KADClient::Start(settings));
    std::string reply;
    ASSERT_TRUE(Call(30, KUIDBytes(kEngine) + U8(1), &reply));
    const std::string copy = root_ + "/editing/engine";
    ASSERT_TRUE(Call(54, KUIDBytes(kEngine) + Str("kept"), &reply));
    const uint32_t pid = standin::Serving(root_);
    ASSERT_NE(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    KADClient::Stop();
    ASSERT_TRUE(WaitFor([&]() { return standin::Ended(pid); }));

    EXPECT_TRUE(fs::exists(copy + "/config.txt"));
    WriteFile(copy + "/config.txt", AssetConfig(kEngine, "Green tank engine", "traincar", "VE;LOC"));

    // The next start launches a new stand-in, which finds the working copy
    // and the keywords again; opening for edit shares the copy, and the
    // commit installs it.
    ASSERT_TRUE(KADClient::Start(settings));
    const AssetRecord record = RecordOf(kEngine);
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_STREQ(record.keywordText.c_str(), "kept");
    EXPECT_STREQ(record.displayName.c_str(), "Green tank engine");
    ASSERT_TRUE(Call(30, KUIDBytes(kEngine) + U8(1), &reply));
    Bytes opened(reply);
    uint64_t handle = 0;
    opened.Stream().ReadUInt64(handle, 0);
    ASSERT_TRUE(Call(34, U64(handle) + U32(0), &reply));
    EXPECT_EQ(reply, U8(1) + U8(0));
    EXPECT_NE(ReadFile(root_ + "/local/engine/config.txt").find("Green"), std::string::npos);
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(AssetStoreProcessTest, AKillMidCopyLeavesTheAssetWholeAndNothingToCommit)
{
    // A large asset: eight files of a MiB beside its config, which comes
    // first in name order: a copy cut short after it holds a config.
    const KUID kBig(400001, 110, 0);
    const std::string installed = root_ + "/local/big";
    WriteFile(installed + "/config.txt", AssetConfig(kBig, "Big station", "buildable", "BD"));
    for (int i = 0; i < 8; ++i)
        WriteFile(installed + "/part-" + std::to_string(i) + ".bin", Pattern(uint32_t(i), 1u << 20));

    // The stand-in that stops after the first file of a working copy.
    const std::string marker = root_ + "/copy-started";
    const pid_t pid = StartPaused(marker);
    ASSERT_NE(pid, 0);
    const KADClientSettings settings = Settings();
    ASSERT_TRUE(KADClient::Start(settings));
    std::thread edit([]() { Call(30, KUIDBytes(KUID(400001, 110, 0)) + U8(1)); });
    bool copying = WaitFor([&]() { return fs::exists(marker); }, std::chrono::milliseconds(60000));
    ::kill(pid, SIGKILL);
    edit.join();
    KADClient::Stop();
    ASSERT_TRUE(copying);
    ASSERT_TRUE(WaitFor([&]() { return standin::Ended(uint32_t(pid)); }));
    // What the kill left: part of a copy, under its unfinished name only.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root_ + "/editing"))
        left.push_back(entry.path().filename().string());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(kaddaemon::AssetStore::kUnfinishedPrefix, 0), 0u) << left[0];
    EXPECT_LT(std::distance(fs::directory_iterator(root_ + "/editing/" + left[0]), fs::directory_iterator()), 9);

    // The next start launches the real stand-in, which drops the part-copy:
    // the asset is installed, whole and not open for edit, and a commit of
    // it is refused and changes nothing.
    ASSERT_TRUE(KADClient::Start(settings));
    const AssetRecord record = RecordOf(kBig);
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_FALSE(record.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_STREQ(record.displayName.c_str(), "Big station");
    EXPECT_TRUE(fs::is_empty(root_ + "/editing"));

    std::string reply;
    ASSERT_TRUE(Call(30, KUIDBytes(kBig) + U8(1), &reply));
    Bytes opened(reply);
    uint64_t handle = 0;
    opened.Stream().ReadUInt64(handle, 0);
    ASSERT_TRUE(Call(34, U64(handle) + U32(0), &reply));
    EXPECT_EQ(reply, U8(0) + U8(0));
    EXPECT_EQ(ReadFile(installed + "/config.txt"), AssetConfig(kBig, "Big station", "buildable", "BD"));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReadFile(installed + "/part-" + std::to_string(i) + ".bin"), Pattern(uint32_t(i), 1u << 20)) << i;
    EXPECT_TRUE(fs::is_empty(root_ + "/editing"));
    EXPECT_TRUE(fs::is_empty(root_ + "/trash"));
}

// A reinstall killed once the installed folder has moved aside, before the
// new one moved in: the next start puts the old folder back, so the asset is
// installed as it was and nothing of the new one is left.
TEST_F(AssetStoreProcessTest, AKillBetweenTheMovesOfAReinstallLeavesTheOldFolderInstalled)
{
    const std::string marker = root_ + "/replace-started";
    const pid_t pid = StartPaused(marker, "replace");
    ASSERT_NE(pid, 0);
    const std::string next = root_ + "/incoming/track";
    WriteFile(next + "/config.txt", AssetConfig(kTrack, "Relaid track", "track", "TR"));
    const KADClientSettings settings = Settings();
    ASSERT_TRUE(KADClient::Start(settings));
    std::thread install([&next]() { Call(39, Str(next) + U32(0)); });
    const bool replacing = WaitFor([&]() { return fs::exists(marker); }, std::chrono::milliseconds(60000));
    ::kill(pid, SIGKILL);
    install.join();
    KADClient::Stop();
    ASSERT_TRUE(replacing);
    ASSERT_TRUE(WaitFor([&]() { return standin::Ended(uint32_t(pid)); }));
    ASSERT_FALSE(fs::exists(root_ + "/local/track"));

    ASSERT_TRUE(KADClient::Start(settings));
    const AssetRecord record = RecordOf(kTrack);
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_STREQ(record.displayName.c_str(), "Mainline track");
    EXPECT_EQ(ReadFile(root_ + "/local/track/config.txt"), AssetConfig(kTrack, "Mainline track", "track", "TR"));
    EXPECT_TRUE(fs::is_empty(root_ + "/editing"));
    EXPECT_TRUE(fs::is_empty(root_ + "/trash"));
}

// An export reads the asset's files after the store has let go of its lock:
// a reinstall asked for meanwhile, on another connection, waits until the
// export is done, so the package holds the old version whole (its config
// and its files), never the old config with the new files.
TEST_F(AssetStoreProcessTest, AReinstallDuringAnExportWaitsUntilTheExportHasReadTheAsset)
{
    const std::string marker = root_ + "/export-started";
    const pid_t pid = StartPaused(marker, "export");
    ASSERT_NE(pid, 0);
    const std::string next = root_ + "/incoming/track";
    WriteFile(next + "/config.txt", AssetConfig(kTrack, "Relaid track", "track", "TR"));
    WriteFile(next + "/rails.txt", "new rails");
    DaemonSharedBlock block{};
    ASSERT_TRUE(daemontest::ReadBlock(root_, block));
    const uint16_t port = static_cast<uint16_t>(block.daemonPort);
    // The reply of the one request sent on the connection; empty when none.
    auto reply = [](RawDaemonClient& client) {
        uint32_t tag = 0, id = 0;
        std::string payload;
        while (client.ReadFrame(tag, id, payload))
            if (tag == DaemonWire::kTagReply)
                return payload;
        return std::string();
    };

    RawDaemonClient exporter;
    ASSERT_TRUE(exporter.Connect(port) && exporter.Handshake(root_));
    ASSERT_TRUE(exporter.SendRequest(48, 1, KUIDBytes(kTrack) + U32(0)));
    ASSERT_TRUE(WaitFor([&]() { return fs::exists(marker); }));
    std::atomic<bool> installed{false};
    std::thread install([&]() {
        RawDaemonClient client;
        if (client.Connect(port) && client.Handshake(root_) && client.SendRequest(39, 2, Str(next) + U32(0)))
            installed = !reply(client).empty();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(installed);
    EXPECT_EQ(ReadFile(root_ + "/local/track/config.txt"), AssetConfig(kTrack, "Mainline track", "track", "TR"));
    WriteFile(marker + ".go", "");

    Bytes exported(reply(exporter));
    ChunkRef entry;
    ReadBinaryConfig(exported.Stream(), entry);
    install.join();
    ASSERT_TRUE(entry);
    EXPECT_EQ(kaddaemon::TagText(entry, "username"), "Mainline track");
    ChunkRef files = entry->FindChildConst(Nyx::PString("files"));
    ASSERT_TRUE(files);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < files->GetChildCount(); ++i) {
        Nyx::PString name;
        ChunkRef child;
        files->GetChildAt(i, name, child);
        names.push_back(name.c_str());
    }
    EXPECT_EQ(names, std::vector<std::string>{"spare"});
    EXPECT_TRUE(installed);
    EXPECT_EQ(ReadFile(root_ + "/local/track/rails.txt"), "new rails");
}

}  // namespace
