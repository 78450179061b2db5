// An export reads an asset's files outside the store's lock: while it holds
// the asset, a change that would replace or remove its folder waits, so the
// export reads one version whole.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "kaddaemon/AssetStore.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const KUID kTrack(400001, 104, 0);

std::string TrackConfig(const std::string& name)
{
    return "kuid " + std::string(kTrack.ToString().c_str()) + "\nusername \"" + name + "\"\nkind \"track\"\n";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AssetStoreConcurrency, AReadHoldKeepsTheFolderInPlaceUntilItIsLetGo)
{
    using Change = std::function<bool(kaddaemon::AssetStore&)>;
    const struct {
        const char* what;
        Change change;
        bool installedAfter;
    } cases[] = {
        {"reinstall",
         [](kaddaemon::AssetStore& store) {
             const std::string filling = store.InstallingFolder("track");
             fs::create_directories(filling);
             std::ofstream(filling + "/config.txt") << TrackConfig("Relaid track");
             return store.InstallFolder(kTrack, "track", filling, 1).ok;
         },
         true},
        {"delete", [](kaddaemon::AssetStore& store) { return store.Delete(kTrack).ok; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        const std::string installed = temp.Path() + "/local/track";
        fs::create_directories(installed);
        std::ofstream(installed + "/config.txt") << TrackConfig("Mainline track");
        kaddaemon::AssetStore store(temp.Path());
        ASSERT_TRUE(store.Open());

        ChunkRef config;
        std::string folder;
        kaddaemon::AssetStore::ReadHold hold;
        EXPECT_FALSE(store.HoldForReading(KUID(777, 5, 0), config, folder, hold));
        ASSERT_TRUE(store.HoldForReading(kTrack, config, folder, hold));
        EXPECT_EQ(folder, installed);
        EXPECT_EQ(kaddaemon::TagText(config, "username"), "Mainline track");
        std::atomic<bool> done{false};
        std::thread changer([&]() {
            EXPECT_TRUE(c.change(store));
            done = true;
        });
        // Other assets and queries go on meanwhile.
        EXPECT_TRUE(store.IsKnown(kTrack));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(done);
        EXPECT_EQ(ReadFile(folder + "/config.txt"), TrackConfig("Mainline track"));
        hold.Release();
        changer.join();
        EXPECT_EQ(store.IsKnown(kTrack), c.installedAfter);
    }
}

}  // namespace
