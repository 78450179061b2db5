// Installing content-package entries through the stand-in daemon served in
// this process: what lands in the asset store, what the log says, and that
// every handle the install opened is closed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/client/KADClient.h"
#include "kad/packages/CDP.h"
#include "kad/packages/PackageTestSupport.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/StoreRequests.h"

namespace {

using namespace clienttest;
using packagetest::AddFile;
using packagetest::NewContainer;
using Tag = TDBContainerTag;

const KUID kAsset(4321, 77, 2);

// An entry as the export request makes one: the config, and its folder in
// "files".
ChunkRef MakeEntry(const std::string& meshBytes)
{
    ChunkRef entry = NewContainer();
    Tag::SetKUID(entry, "kuid", kAsset);
    Tag::SetString(entry, "kind", "Scenery");
    Tag::SetString(entry, "username", "Stand-in Shed");
    Tag::SetFloat(entry, "kestro-build", 3.2f);
    ChunkRef files = NewContainer();
    ChunkRef mesh = NewContainer();
    AddFile(mesh, "shed.pm", meshBytes);
    mesh.EnsureContainer();
    Tag::SetChildContainer(files, "mesh", mesh);
    AddFile(files, "thumbnail.jpg", "jpeg bytes");
    Tag::SetChildContainer(entry, "files", files);
    return entry;
}

class PackageInstallStandIn : public StandInStoreClient {
protected:
    PackageInstallStandIn()
    {
        OpenStore();
        // A commit the daemon refuses, when a case asks for one.
        kaddaemon::RequestHandler commit = *server_.Requests().Find(KADRequests::kCommitAsset);
        server_.Requests().Register(KADRequests::kCommitAsset, [this, commit](kaddaemon::RequestContext& context,
                                                                             TStream& request, TStream& reply) {
            if (!refuseCommits_) {
                commit(context, request, reply);
                return;
            }
            kaddaemon::SendErrors(kaddaemon::NotesOf(context.connection), context.transactionId,
                                  {"The commit is refused."});
            reply.WriteBool(false);
            reply.WriteBool(false);
        });
    }

    AssetRecord Record()
    {
        AssetRecord record;
        KADRequests::GetAssetInfo(kAsset, record, AssetRecord::kMaskAll);
        return record;
    }
    // Opens and creates asked for (these succeed here), and handles closed.
    size_t Opened() const
    {
        return CountLines(TracePath(), "in request 30 ") + CountLines(TracePath(), "in request 35 ");
    }
    size_t Closed() const { return CountLines(TracePath(), "in request 31 "); }
    size_t Commits() const { return CountLines(TracePath(), "in request 34 "); }
    std::string LocalFolder()
    {
        Nyx::PString name;
        Nyx::File::Path path;
        KADRequests::GetAssetFilePath(kAsset, 0, name, path);
        return path.Str();
    }

    std::atomic<bool> refuseCommits_{false};
};

TEST_F(PackageInstallStandIn, ANewAssetIsCreatedExtractedAndCommitted)
{
    ResultsLog log;
    bool second = true;
    EXPECT_EQ(KADClient::InstallPackageEntry(MakeEntry("mesh one"), log, KADClient::kInstallCommit, &second), kAsset);
    EXPECT_EQ(Texts(log), std::vector<std::string>{"$kad_installed"});
    AssetRecord record = Record();
    EXPECT_TRUE(record.known);
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
    EXPECT_FALSE(record.GetFlag(AssetRecord::kFlagOpenForEdit));
    EXPECT_EQ(record.displayName.Str(), "Stand-in Shed");
    const std::string folder = LocalFolder();
    ASSERT_FALSE(folder.empty());
    ChunkRef config;
    ASSERT_TRUE(LoadConfigFile(config, folder.c_str(), "config.chump"));
    EXPECT_EQ(Tag::GetString(config, "kind").Str(), "scenery");
    // The asset has one config: the text one its creation began with is gone.
    EXPECT_FALSE(std::filesystem::exists(folder + "/config.txt"));
    EXPECT_FALSE(config->FindChildConst("files").IsReal());
    // The daemon takes the installed config, not the one its create left.
    ChunkRef served = KADRequests::GetAssetConfig(kAsset);
    ASSERT_TRUE(served.IsReal());
    EXPECT_EQ(Tag::GetString(served, "kind").Str(), "scenery");
    std::ifstream mesh(folder + "/mesh/shed.pm");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mesh), {}), "mesh one");
    EXPECT_EQ(Commits(), 1u);
    EXPECT_EQ(Opened(), Closed());
}

TEST_F(PackageInstallStandIn, AnInstalledAssetIsOpenedEmptiedAndRefilledWithoutACommit)
{
    ResultsLog first;
    ASSERT_EQ(KADClient::InstallPackageEntry(MakeEntry("mesh one"), first, KADClient::kInstallCommit, nullptr),
              kAsset);
    ChunkRef changed = MakeEntry("mesh two");
    AddFile(CDP::GetEntryFiles(changed), "extra.txt", "new file");
    ChunkRef files = CDP::GetEntryFiles(changed);
    files->RemoveChild(files->FindChildConst("thumbnail.jpg"));

    ResultsLog log;
    EXPECT_EQ(KADClient::InstallPackageEntry(changed, log, KADClient::kInstallCommit, nullptr), kAsset);
    EXPECT_EQ(Texts(log), std::vector<std::string>{"$kad_installed"});
    EXPECT_EQ(Commits(), 1u) << "only the first install committed";
    EXPECT_TRUE(Record().GetFlag(AssetRecord::kFlagOpenForEdit));

    Nyx::PString name;
    Nyx::File::Path editing;
    ASSERT_TRUE(KADRequests::GetAssetFilePath(kAsset, 1, name, editing));
    std::set<std::string> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(editing.Str()))
        tree.insert(std::filesystem::relative(e.path(), editing.Str()).string());
    EXPECT_EQ(tree, (std::set<std::string>{"config.txt", "extra.txt", "mesh", "mesh/shed.pm"}))
        << "the old files are gone";
    ChunkRef config;
    ASSERT_TRUE(LoadConfigFile(config, editing.c_str(), "config.txt"));
    EXPECT_EQ(Tag::GetKUID(config, "kuid", KUID::Null), kAsset);
    EXPECT_EQ(Opened(), Closed());
}

TEST_F(PackageInstallStandIn, EachFailureEndsWithTheNullKUIDItsResultAndNoHandleLeftOpen)
{
    struct Case {
        const char* name;
        std::function<void(ChunkRef&)> setup;
        const char* key;    // the install's own result, if any
        bool assetRemains;  // known to the store afterwards
        size_t handles;     // the daemon gave the install
    };
    const Case cases[] = {
        {"the asset exists only as an uncommitted creation",
         [](ChunkRef&) { ASSERT_TRUE(KADRequests::CreateAsset(kAsset, 0, Nyx::String("held")).IsValid()); },
         "$kad_write_error", true, 0},
        {"a file that does not decompress",
         [](ChunkRef& e) {
             AddFile(CDP::GetEntryFiles(e), "broken.txt", std::string("\x40\0\0\0\x03\x01", 6));
             CDP::SetCompressionLZSS(e);
         },
         "$kad_failed_install", false, 1},
        {"the config cannot be written",
         [](ChunkRef& e) {
             ChunkRef files = CDP::GetEntryFiles(e);
             ChunkRef blocker;
             Tag::SetChildContainer(files, "config.chump", blocker);
         },
         "$kad_failed_install", false, 1},
        {"the daemon refuses the commit", [this](ChunkRef&) { refuseCommits_ = true; }, nullptr, true, 1},
    };
    for (const Case& c : cases) {
        ChunkRef entry = MakeEntry("mesh");
        c.setup(entry);
        ResultsLog log;
        const size_t closedBefore = Closed();
        EXPECT_EQ(KADClient::InstallPackageEntry(entry, log, KADClient::kInstallCommit, nullptr), KUID::Null)
            << c.name;
        refuseCommits_ = false;
        EXPECT_EQ(Closed() - closedBefore, c.handles) << c.name << ": every handle is closed";
        std::vector<std::string> texts = Texts(log);
        if (c.key) {
            EXPECT_EQ(texts, std::vector<std::string>{c.key}) << c.name;
        } else {
            EXPECT_EQ(std::count(texts.begin(), texts.end(), "$kad_installed"), 0) << c.name;
            EXPECT_FALSE(texts.empty()) << c.name << ": the daemon's own message arrives";
        }
        EXPECT_EQ(Record().known, c.assetRemains) << c.name;
        EXPECT_FALSE(Record().GetFlag(AssetRecord::kFlagInstalled)) << c.name;
        // What the case left open is reverted before the next.
        AssetHandleRef handle = KADRequests::OpenAsset(kAsset, false, nullptr);
        KADRequests::RevertAsset(handle, nullptr);
        handle.Release();
        EXPECT_FALSE(Record().known) << c.name;
    }
}

}  // namespace
