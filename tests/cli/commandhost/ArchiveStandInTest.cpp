// The archive jobs through the stand-in daemon served in this process: what
// the save exports the install puts back, folder and all.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/ToolProcess.h"
#include "cli/commandhost/CommandHostJob.h"
#include "config/results/ResultsLog.h"
#include "core/process/ProcessState.h"
#include "kad/WireBytes.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/KUIDListWire.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/StoreRequests.h"
#include "support/ResultsForm.h"

namespace {

struct Asset {
    KUID kuid;
    const char* folder;
    std::string mesh;
};

const Asset kAssets[] = {
    {KUID(77, 600, 0), "shed", "shed mesh"},
    {KUID(77, 601, 2), "signal", std::string("signal\0mesh", 11)},
    {KUID(-2, 602, 127), "lamp", std::string(5000, 'L')},
};
const KUID kNotSaved(77, 699, 0);

class ArchiveStandInTest : public clienttest::StandInClient {
protected:
    ArchiveStandInTest()
    {
        for (const Asset& a : kAssets) {
            const std::string folder = std::string("local/") + a.folder;
            temp_.Write(folder + "/config.txt", std::string("kuid ") + a.kuid.ToString().c_str() +
                                                    "\nusername \"" + a.folder + "\"\nkind \"scenery\"\n");
            temp_.Write(folder + "/mesh/body.im", a.mesh);
        }
        store_ = std::make_shared<kaddaemon::AssetStore>(root_);
        EXPECT_TRUE(store_->Open());
        kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
    }

    static std::string Job(const std::string& payload)
    {
        wire::Input request(payload);
        wire::Output reply;
        CommandHostCallback(request.stream, reply.stream);
        return reply.Str();
    }

    std::string LocalFolder(const KUID& kuid)
    {
        Nyx::PString name;
        Nyx::File::Path path;
        KADRequests::GetAssetFilePath(kuid, 0, name, path);
        return path.Str();
    }

    std::shared_ptr<kaddaemon::AssetStore> store_;
};

}  // namespace

TEST_F(ArchiveStandInTest, WhatTheSaveExportsTheInstallPutsBack)
{
    Serve();
    ASSERT_TRUE(StartClient());
    SetMainThreadId();
    const std::string archive = temp_ / "three.karc";
    wire::Bytes list;
    list.U32(3);
    for (const Asset& a : kAssets)
        list.Kuid(a.kuid);

    EXPECT_EQ(Job(wire::Bytes().U32(2).U32(5).Text(archive).Raw(list.Str()).Str()),
              resultstest::Results({}) + wire::Bytes().U32(1).Str());

    // Gone from the database, the assets come back from the archive alone.
    for (const Asset& a : kAssets)
        ASSERT_TRUE(KADRequests::DeleteAsset(a.kuid, 0, nullptr));
    wire::Bytes wanted;
    wanted.U32(4).Kuid(kNotSaved);
    for (const Asset& a : kAssets)
        wanted.Kuid(a.kuid);
    wire::Input reply(Job(wire::Bytes().U32(3).U32(5).Text(archive).Raw(wanted.Str()).Str()));
    ResultsLog log;
    ReadResults(reply.stream, log);
    EXPECT_EQ(log.GetOutputCount(), 3u);
    EXPECT_EQ(log.GetErrorCount(), 0u);
    KUIDRing left;
    EXPECT_TRUE(ReadKUIDList(reply.stream, left));
    ASSERT_EQ(left.Count(), 1u);
    EXPECT_EQ(*left.begin(), kNotSaved);

    for (const Asset& a : kAssets) {
        SCOPED_TRACE(a.folder);
        AssetRecord record;
        EXPECT_TRUE(KADRequests::GetAssetInfo(a.kuid, record, AssetRecord::kMaskAll));
        EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
        EXPECT_EQ(record.displayName.Str(), a.folder);
        const std::string folder = LocalFolder(a.kuid);
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(Slurp(folder + "/mesh/body.im"), a.mesh);
    }
}
