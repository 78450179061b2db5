// A content package from arbitrary bytes, installed by the tool itself
// against the stand-in's store, whose data root holds an installed asset
// <kuid:1:2> (which packages of the seeds hold too) and an asset open for
// edit. The first byte picks the install: 0 "vrqparse" (every entry
// installed, all reverted when one fails, else each committed, checked and
// written into a package of its own beside the package file); 1 and 2
// every entry installed and committed as the command host's archive
// install does (2 keeping its build). The rest is the package file.
//
// Whatever the package holds: nothing outside the data root and the
// package's folder changes; an entry installed is an installed asset of
// its own KUID afterwards; a failed install leaves a new asset unknown to
// the store and an installed one with its folder as it was; and a
// "vrqparse" that aborted leaves none of the package's new assets behind.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzSnapshot.h"
#include "FuzzQuietOutput.h"
#include "FuzzStandIn.h"
#include "FuzzTempFolder.h"
#include "cli/CommandHandlers.h"
#include "cli/commandhost/ArchiveJobs.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "kad/client/KADClient.h"
#include "kad/packages/CDP.h"
#include "kad/requests/AssetRecord.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxInput = 64 * 1024;
const KUID kInstalled(1, 2, 0);
const KUID kEditing(1, 3, 0);

// "vrqparse" gave up on the package after an install failed.
bool Aborted(const ResultsLog& log)
{
    bool found = false;
    log.Lock();
    for (const ResultsLog::Result* result : log.Results())
        found = found || std::string_view(result->text.c_str()) == "Aborted processing";
    log.Unlock();
    return found;
}

bool Installed(kaddaemon::AssetStore& store, const KUID& kuid)
{
    const AssetRecord record = store.Record(kuid);
    return record.known && record.GetFlag(AssetRecord::kFlagInstalled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > kMaxInput)
        return 0;
    static FuzzTempFolder folder("package_install_fuzz");
    folder.Clear();
    folder.Write("outside/victim.txt", "untouched");
    folder.Write("root/local/installed/config.txt", "kuid <kuid:1:2>\nkind \"scenery\"\nusername \"Installed\"\n");
    folder.Write("root/local/installed/body.txt", "installed");
    folder.Write("root/local/editing/config.txt", "kuid <kuid:1:3>\nkind \"scenery\"\nusername \"Editing\"\n");
    const std::string package = folder / "pkg/package.cdp";
    folder.Write("pkg/package.cdp", std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    const uint8_t mode = data[0] % 3;

    // The data root is the content root, as in the tool.
    SetContentRootPath(Nyx::File::Path(folder / "root"));
    FuzzStandIn standIn(folder / "root");
    kaddaemon::AssetStore& store = standIn.Store();
    {
        std::string name, path, error;
        const uint64_t handle = store.OpenAsset(kEditing, true, name, path, error);
        FuzzCheck(handle != kaddaemon::AssetStore::kNoHandle);
        store.CloseHandle(handle);
    }
    std::string installedFolder, name;
    FuzzCheck(store.NameAndPath(kInstalled, false, name, installedFolder));
    const std::set<std::string> installedBefore = Snapshot(installedFolder);
    const std::set<std::string> outsideBefore = Snapshot(folder / "outside");

    ChunkRef read;
    const bool readable = CDP::CheckHeader(read, Nyx::File::Path(package)).Empty();
    const uint32_t count = CDP::GetAssetCount(read);
    std::set<KUID, KADFilterElementAssetID::Order> knownBefore;
    for (uint32_t i = 0; i < count; ++i) {
        const KUID kuid = CDP::GetEntryKUID(CDP::GetAssetAt(read, i));
        if (store.IsKnown(kuid))
            knownBefore.insert(kuid);
    }

    ResultsLog log;
    bool mayChangeInstalled = false;
    if (mode == 0) {
        int code = 0;
        {
            FuzzQuietOutput quiet;
            code = VrqParseCommand(log, package.c_str());
        }
        if (Aborted(log)) {
            // Every asset the package brought is reverted.
            for (uint32_t i = 0; i < count; ++i) {
                const KUID kuid = CDP::GetEntryKUID(CDP::GetAssetAt(read, i));
                if (!knownBefore.count(kuid))
                    FuzzCheck(!store.IsKnown(kuid));
            }
        } else {
            mayChangeInstalled = knownBefore.count(kInstalled) != 0;
        }
        if (code == 0) {
            FuzzCheck(readable);
            for (uint32_t i = 0; i < count; ++i)
                FuzzCheck(Installed(store, CDP::GetEntryKUID(CDP::GetAssetAt(read, i))));
        }
    } else {
        const uint32_t flags = mode == 1 ? kArchiveInstallFlags : kArchiveSameBuildInstallFlags;
        for (uint32_t i = 0; i < count; ++i) {
            const ChunkRef entry = CDP::GetAssetAt(read, i);
            const KUID kuid = CDP::GetEntryKUID(entry);
            const bool wasKnown = store.IsKnown(kuid);
            bool second = false;
            const KUID got = KADClient::InstallPackageEntry(entry, log, flags, &second);
            if (!got.IsNull()) {
                FuzzCheck(got == kuid);
                FuzzCheck(Installed(store, kuid));
                mayChangeInstalled = mayChangeInstalled || kuid == kInstalled;
            } else if (!wasKnown) {
                FuzzCheck(!store.IsKnown(kuid));
            }
        }
    }
    if (!mayChangeInstalled) {
        FuzzCheck(Installed(store, kInstalled));
        FuzzCheck(Snapshot(installedFolder) == installedBefore);
    }
    FuzzCheck(Snapshot(folder / "outside") == outsideBefore);
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        const std::string top = entry.path().filename().string();
        FuzzCheck(top == "root" || top == "pkg" || top == "outside");
    }
    SetContentRootPath(Nyx::File::Path());
    return 0;
}
