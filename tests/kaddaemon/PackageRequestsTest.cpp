// The stand-in's description, thumbnail, folder-install and export
// requests, asked through the tool's own request stubs against the
// stand-in served in this process.
#include "kaddaemon/PackageRequests.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/compress/LZSSCompress.h"
#include "core/streams/LittleEndian.h"
#include "kad/packages/CDP.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"
#include "kaddaemon/AssetFolders.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/ClientTestSupport.h"
#include "kaddaemon/StoreRequests.h"

namespace {

namespace fs = std::filesystem;
using namespace clienttest;

const KUID kPainted(400001, 201, 0);
const KUID kPlain(400001, 202, 0);
const KUID kBare(400001, 203, 0);
const KUID kNew(400001, 301, 0);
const KUID kNobody(777, 5, 0);

std::string Text(const KUID& kuid) { return kuid.ToString().c_str(); }

std::string Config(const KUID& kuid, const std::string& extra = {})
{
    return "kuid " + Text(kuid) + "\nusername \"Asset " + std::to_string(kuid.content) + "\"\nkind \"scenery\"\n" +
           extra;
}

// Repetitive enough to compress, varied enough not to be one run.
std::string Filler(size_t length, uint32_t seed)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = "abcdefgh"[(i / 7 + seed) % 8] + static_cast<char>((i * seed) % 3);
    return s;
}

class PackageRequestsTest : public StandInStoreClient {
protected:
    PackageRequestsTest()
    {
        Write("local/painted/config.txt", Config(kPainted, "description \"Two lines,\nred.\"\n"));
        Write("local/painted/Thumbnail.JPG", "jpeg bytes");
        Write("local/painted/aaa.png", "png bytes");
        Write("local/plain/config.txt", Config(kPlain));
        Write("local/plain/b.txt", "text");
        Write("local/plain/picture.TGA", "tga bytes");
        Write("local/plain/z.png", "later png");
        Write("local/bare/config.txt", Config(kBare));
        Write("local/bare/notes.txt", "no image");
        OpenStore();
    }

    void Write(const std::string& rel, const std::string& bytes)
    {
        fs::path path = fs::path(root_) / rel;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t EntriesUnder(const std::string& rel)
    {
        size_t n = 0;
        for (auto it = fs::directory_iterator(fs::path(root_) / rel); it != fs::directory_iterator(); ++it)
            ++n;
        return n;
    }
};

TEST_F(PackageRequestsTest, DescriptionAndThumbnail)
{
    // A line break inside a quoted text reads as CR LF.
    EXPECT_EQ(KADRequests::GetAssetDescription(kPainted).View(), "Two lines,\r\nred.");
    EXPECT_TRUE(KADRequests::GetAssetDescription(kPlain).Empty());
    EXPECT_TRUE(KADRequests::GetAssetDescription(kNobody).Empty());

    struct Case {
        KUID kuid;
        std::string name;
        std::string path;  // relative to the root
        int32_t value;
        std::string bytes;
    } cases[] = {
        // The named thumbnail wins over an image that sorts before it.
        {kPainted, "Thumbnail.JPG", "local/painted/Thumbnail.JPG", 0, ""},
        // Else the first image file by name, whatever the case of its
        // extension, carried in the reply.
        {kPlain, "picture.TGA", "", 9, "tga bytes"},
        {kBare, "", "", 0, ""},
        {kNobody, "", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.kuid));
        Nyx::PString name("kept");
        Nyx::File::Path path("/kept");
        std::vector<uint8_t> bytes;
        EXPECT_EQ(KADRequests::GetThumbnail(c.kuid, 240, name, path, &bytes), c.value);
        EXPECT_EQ(name.View(), c.name);
        EXPECT_EQ(path.Str(), c.path.empty() ? "" : root_ + "/" + c.path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
    }
}

TEST_F(PackageRequestsTest, ExportCarriesTheConfigAndTheFolderPlainOrCompressed)
{
    const std::string big = Filler(100000, 3);
    Write("local/plain/sub/deep/big.bin", big);
    Write("local/plain/empty.txt", "");
    fs::create_directories(fs::path(root_) / "local/plain/nothing");
    // Links stay out, whether to a file or to a folder (here a loop).
    fs::create_symlink(fs::path(root_) / "local/plain/b.txt", fs::path(root_) / "local/plain/link.txt");
    fs::create_directory_symlink(fs::path(root_) / "local/plain", fs::path(root_) / "local/plain/sub/loop");

    struct Case {
        uint32_t flags;
        bool compressed;
    } cases[] = {{0, false}, {2, false}, {1, true}, {3, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ResultsLog log;
        ChunkRef entry = KADRequests::ExportAsset(kPlain, c.flags, &log);
        ASSERT_TRUE(entry);
        EXPECT_EQ(log.GetResultCount(), 0u);
        EXPECT_EQ(kaddaemon::TagKUID(entry, "kuid"), kPlain);
        EXPECT_EQ(kaddaemon::TagText(entry, "kind"), "scenery");
        EXPECT_EQ(kaddaemon::TagText(entry, "compression"), c.compressed ? "LZSS" : "");
        ChunkRef files = TDBContainerTag::GetChildContainer(entry, Nyx::PString("files"));
        ASSERT_TRUE(files);
        std::vector<std::string> names;
        for (uint32_t i = 0; i < files->GetChildCount(); ++i)
            names.push_back(TDBContainerTag::GetChildName(files, i).c_str());
        // In name order; the config is the entry itself, not one of its files.
        EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "empty.txt", "nothing", "picture.TGA", "sub", "z.png"}));
        EXPECT_EQ(TDBContainerTag::GetChildType(files, Nyx::PString("nothing")), ACS_TYPE_CONTAINER);
        ChunkRef sub = TDBContainerTag::GetChildContainer(files, Nyx::PString("sub"));
        EXPECT_EQ(sub.ChildCount(), 1u);
        ChunkRef deep = TDBContainerTag::GetChildContainer(sub, Nyx::PString("deep"));

        auto content = [&](const ChunkRef& folder, const char* name) -> std::string {
            ACSRawData data = TDBContainerTag::GetRawData(folder, Nyx::PString(name));
            std::string raw(reinterpret_cast<const char*>(data.Data()), data.Size());
            if (!c.compressed)
                return raw;
            EXPECT_GE(raw.size(), 5u) << name;
            if (raw.size() < 5)
                return "<short>";
            const uint32_t size = LoadLE32(reinterpret_cast<const uint8_t*>(raw.data()));
            std::string out(size, '\0');
            Nyx::LZSSCompress codec;
            EXPECT_EQ(codec.DecompressBlock(out.data(), size, raw.data() + 4, uint32_t(raw.size() - 4)),
                      int64_t(size))
                << name;
            return out;
        };
        EXPECT_EQ(content(files, "b.txt"), "text");
        EXPECT_EQ(content(files, "empty.txt"), "");
        EXPECT_EQ(content(deep, "big.bin"), big);
        if (c.compressed) {
            EXPECT_LT(TDBContainerTag::GetRawData(deep, Nyx::PString("big.bin")).Size(), big.size() / 2);
        }
    }

    ResultsLog log;
    EXPECT_FALSE(KADRequests::ExportAsset(kNobody, 3, &log));
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"Unknown asset " + Text(kNobody) + "."}));
}

TEST_F(PackageRequestsTest, InstallFromFolderInstallsOrReportsAndLeavesNoWorkingCopy)
{
    const std::string outside = temp_ / "outside";
    auto lay = [&](const std::string& rel, const std::string& bytes) {
        fs::create_directories(fs::path(outside + "/" + rel).parent_path());
        std::ofstream(outside + "/" + rel, std::ios::binary) << bytes;
    };
    lay("new/config.txt", Config(kNew));
    lay("new/sub/mesh.im", "mesh v1");
    lay("again/config.txt", Config(kNew));
    lay("again/sub/mesh.im", "mesh v2");
    lay("noconfig/readme.txt", "no config");
    lay("nokuid/config.txt", "kind \"scenery\"\n");
    {
        fs::create_directories(outside + "/plain");
        ChunkRef config;
        TDBContainerTag::SetKUID(config, Nyx::PString("kuid"), kPlain);
        TDBContainerTag::SetString(config, Nyx::PString("kind"), Nyx::PString("scenery"));
        TDBContainerTag::SetString(config, Nyx::PString("username"), Nyx::PString("Plain again"));
        ASSERT_TRUE(SaveConfigFile(config, (outside + "/plain").c_str(), "config.chump"));
    }

    struct Case {
        std::string folder;
        KUID kuid;
        bool installed;
        std::string error;
    } cases[] = {
        {outside + "/new", kNew, true, ""},
        // The same files again: nothing changes, and that is no failure.
        {outside + "/new", kNew, true, ""},
        {outside + "/again", kNew, true, ""},
        // Over an installed asset of the store, from a binary config.
        {outside + "/plain", kPlain, true, ""},
        {"relative/new", KUID::Null, false, "The folder to install is not given as an absolute path."},
        {outside + "/missing", KUID::Null, false, "The folder " + outside + "/missing does not exist."},
        {outside + "/noconfig", KUID::Null, false, "The folder " + outside + "/noconfig holds no config that loads."},
        {outside + "/nokuid", KUID::Null, false, "The config in " + outside + "/nokuid names no KUID."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ResultsLog log;
        KUID kuid(1, 2, 3);
        EXPECT_EQ(KADRequests::InstallFromFolder(Nyx::File::Path(c.folder), 0, kuid, nullptr, &log), c.installed);
        EXPECT_EQ(kuid, c.kuid);
        EXPECT_EQ(Texts(log), c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
        // Installed or not, no working copy is left behind.
        EXPECT_EQ(EntriesUnder("editing"), 0u);
    }

    AssetRecord record;
    ASSERT_TRUE(KADRequests::GetAssetInfo(kNew, record, AssetRecord::kMaskAll));
    EXPECT_TRUE(record.GetFlag(AssetRecord::kFlagInstalled));
    Nyx::PString name;
    Nyx::File::Path folder;
    ASSERT_TRUE(KADRequests::GetAssetFilePath(kNew, 0, name, folder));
    EXPECT_EQ(folder.Str().rfind(root_ + "/local/", 0), 0u) << folder.Str();
    EXPECT_EQ(Read(folder.Str() + "/sub/mesh.im"), "mesh v2");
    EXPECT_EQ(KADRequests::GetAssetName(kPlain).View(), "Plain again");
    // A fresh store finds the same.
    store_->ReleaseRoot();  // as the daemon before ends
    kaddaemon::AssetStore again(root_);
    ASSERT_TRUE(again.Open());
    EXPECT_TRUE(again.IsKnown(kNew));
    EXPECT_EQ(again.Record(kPlain).displayName.View(), "Plain again");
}

// An entry with one plain file.
ChunkRef Entry(const KUID& kuid, const std::string& name, const std::string& file, const std::string& bytes)
{
    ChunkRef entry;
    TDBContainerTag::SetKUID(entry, Nyx::PString("kuid"), kuid);
    TDBContainerTag::SetString(entry, Nyx::PString("username"), Nyx::PString(name));
    TDBContainerTag::SetString(entry, Nyx::PString("kind"), Nyx::PString("Scenery"));
    ChunkRef files(new TDBContainerTag);
    files->AddChild(Nyx::PString(file),
                    files->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy(bytes.data(), uint32_t(bytes.size()))));
    TDBContainerTag::SetChildContainer(entry, Nyx::PString("files"), files);
    return entry;
}

TEST_F(PackageRequestsTest, InstallPackageInstallsEachEntryAndReportsTheOnesThatFail)
{
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kNew, "Fresh", "mesh.im", "fresh mesh")).Empty());
    // Over an installed asset, with its config in binary form.
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kPlain, "Plain again", "mesh.im", "plain mesh")).Empty());
    // Compressed, but with no stream behind the size: nothing of it stays.
    ChunkRef broken = Entry(KUID(400001, 302, 0), "Broken", "data.txt", std::string("\x04\0\0", 3));
    CDP::SetCompressionLZSS(broken);
    ASSERT_TRUE(CDP::AddAsset(package, broken).Empty());
    // A name that would leave its folder is not written at all.
    ASSERT_TRUE(CDP::AddAsset(package, Entry(KUID(400001, 303, 0), "Sly", "../../sly.txt", "out")).Empty());
    const std::string path = temp_ / "mixed.cdp";
    ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());

    ResultsLog log;
    int32_t value = -1;
    EXPECT_FALSE(KADRequests::InstallCDP(Nyx::File::Path(path), 2, value, nullptr, &log));
    EXPECT_EQ(value, 3);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{"Failed to decompress data. Content package may be damaged"}));
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        EXPECT_EQ(r->asset.ToString().View(), Text(KUID(400001, 302, 0)));
    log.Unlock();
    EXPECT_FALSE(store_->IsKnown(KUID(400001, 302, 0)));
    EXPECT_EQ(EntriesUnder("editing"), 0u);

    for (const KUID& kuid : {kNew, kPlain}) {
        SCOPED_TRACE(Text(kuid));
        std::string name, folder;
        ASSERT_TRUE(store_->NameAndPath(kuid, false, name, folder));
        EXPECT_EQ(folder.rfind(root_ + "/local/", 0), 0u);
        EXPECT_TRUE(fs::exists(folder + "/config.chump"));
        // The config a package entry installs as: "kind" in lower case.
        EXPECT_EQ(kaddaemon::TagText(store_->Config(kuid), "kind"), "scenery");
    }
    EXPECT_EQ(Read(fs::path(root_) / "local/plain/mesh.im"), "plain mesh");
    EXPECT_EQ(store_->Record(kPlain).displayName.View(), "Plain again");
    EXPECT_TRUE(store_->IsKnown(KUID(400001, 303, 0)));
    EXPECT_FALSE(fs::exists(fs::path(root_) / "sly.txt"));
    EXPECT_FALSE(fs::exists(fs::path(root_) / "local/sly.txt"));

    struct Case {
        std::string path;
        std::string error;
    } cases[] = {
        {"mixed.cdp", "The package to install is not given as an absolute path."},
        {temp_ / "none.cdp", "Content could not be read, as the file is not a valid CDP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ResultsLog refused;
        EXPECT_FALSE(KADRequests::InstallCDP(Nyx::File::Path(c.path), 2, value, nullptr, &refused));
        EXPECT_EQ(value, 0);
        EXPECT_EQ(Texts(refused), (std::vector<std::string>{c.error}));
    }
}

// A package that carries a config file of the name the install writes
// among its files: the install's own config takes its place, and the folder
// holds every file it should, so the install goes through.
TEST_F(PackageRequestsTest, AnEntryCarryingItsOwnConfigFileInstalls)
{
    for (const char* carried : {"config.chump", "CONFIG.CHUMP"}) {
        SCOPED_TRACE(carried);
        ChunkRef entry = Entry(kNew, "Fresh", "mesh.im", "fresh mesh");
        ChunkRef files = entry->FindChildConst(Nyx::PString("files"));
        const std::string stale = "a config of another asset";
        files->AddChild(Nyx::PString(carried),
                        files->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy(stale.data(), uint32_t(stale.size()))));
        ChunkRef package;
        ASSERT_TRUE(CDP::AddAsset(package, entry).Empty());
        const std::string path = temp_ / "own-config.cdp";
        ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());
        ResultsLog log;
        int32_t value = -1;
        EXPECT_TRUE(KADRequests::InstallCDP(Nyx::File::Path(path), 2, value, nullptr, &log));
        EXPECT_EQ(value, 1);
        EXPECT_EQ(Texts(log), std::vector<std::string>{});
        EXPECT_EQ(store_->Record(kNew).displayName.View(), "Fresh");
        EXPECT_EQ(kaddaemon::TagText(store_->Config(kNew), "kind"), "scenery");
        ASSERT_TRUE(store_->Delete(kNew).ok);
    }
}

// An entry whose files the disk will not take is not installed, and the
// reply does not count it, whichever road the tree sync's syncs take.
TEST_F(PackageRequestsTest, AnInstallWhoseFilesCannotBeSyncedIsNotDone)
{
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kNew, "Fresh", "mesh.im", "fresh mesh")).Empty());
    const std::string path = temp_ / "one.cdp";
    ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());
    for (bool kernelSyncs : {true, false}) {
        SCOPED_TRACE(kernelSyncs ? "kernel" : "threads");
        kaddaemon::SetTreeSyncForTests([](int, int) { return -EIO; }, kernelSyncs);
        ResultsLog log;
        int32_t value = -1;
        const bool done = KADRequests::InstallCDP(Nyx::File::Path(path), 2, value, nullptr, &log);
        kaddaemon::SetTreeSyncForTests(nullptr, true);
        EXPECT_FALSE(done);
        EXPECT_EQ(value, 0);
        EXPECT_EQ(Texts(log), (std::vector<std::string>{"Unable to write content files to disk"}));
        EXPECT_FALSE(store_->IsKnown(kNew));
        EXPECT_EQ(EntriesUnder("editing"), 0u);
        store_->Delete(kNew);
    }
}

TEST_F(PackageRequestsTest, AnInstallWhoseClientHasGoneCommitsNothingMore)
{
    const KUID second(400001, 304, 0);
    ChunkRef package;
    ASSERT_TRUE(CDP::AddAsset(package, Entry(kNew, "Fresh", "mesh.im", "fresh mesh")).Empty());
    ASSERT_TRUE(CDP::AddAsset(package, Entry(second, "Second", "mesh.im", "second mesh")).Empty());
    const std::string path = temp_ / "pair.cdp";
    ASSERT_TRUE(CDP::Write(package, Nyx::File::Path(path)).Empty());

    struct Case {
        const char* what;
        std::function<bool()> gone;
        bool first;  // installed
    } cases[] = {
        {"gone before the first", []() { return true; }, false},
        {"gone once the first is in", [this]() { return store_->IsKnown(kNew); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes request;
        request.Stream().WriteString(Nyx::AnsiString(path));
        request.Stream().WriteInt32(2);
        request.Stream().Rewind();
        Bytes reply;
        EXPECT_TRUE(kaddaemon::ServePackageRequest(*store_, 40, 1, request.Stream(), reply.Stream(), nullptr, c.gone));
        EXPECT_EQ(store_->IsKnown(kNew), c.first);
        EXPECT_FALSE(store_->IsKnown(second));
        EXPECT_EQ(EntriesUnder("editing"), 0u);
        store_->Delete(kNew);
    }
}

}  // namespace
