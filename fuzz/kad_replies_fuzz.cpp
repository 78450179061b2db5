// Every request stub's reading of its reply, over arbitrary bytes: the
// first input byte picks the stub (and, with its top bit, a failed call),
// the rest is what the daemon answers to each call the stub makes. A daemon
// is whatever process won discovery, so no reply may crash a stub, make it
// read past the reply or keep what it allocated; a failed call leaves the
// outputs as they were.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kad/client/AssetHandle.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/AuthorNames.h"
#include "kad/requests/KADRequests.h"

namespace {

std::string_view g_reply;
bool g_fails = false;
uint32_t g_calls = 0;

bool Transport(uint32_t, TStream& payload, TStream& reply, KADClientCallback*, ResultsLog*, bool)
{
    ++g_calls;
    // The request is read whole, as the client would send it.
    const uint32_t left = payload.GetSize() - payload.Tell();
    std::string request(left, '\0');
    if (payload.ReadBytes(request.data(), left) != left)
        std::abort();
    if (g_fails)
        return false;
    reply.WriteBytes(g_reply.data(), static_cast<uint32_t>(g_reply.size()));
    return true;
}

const KUID kAsset(400001, 101, 0);

// A handle whose folder the daemon has yet to report.
AssetHandleRef UnreportedHandle(bool edit)
{
    auto* handle = new AssetHandle;
    handle->handle = 5;
    handle->kuid = kAsset;
    return AssetHandleRef(handle, edit);
}

void Run(uint32_t stub)
{
    ResultsLog log;
    const Nyx::PString name("name");
    const Nyx::File::Path folder("/data/editing/asset");
    switch (stub) {
    case 0: {
        KUIDRing found;
        KADRequests::SearchAssets(nullptr, found);
        break;
    }
    case 1:
        KADRequests::StartRepair(1, &log);
        break;
    case 2: {
        float progress = 0.5f;
        Nyx::String status("kept");
        KADRequests::PollRepair(progress, status);
        if (g_fails)
            FuzzCheck(progress == 0.5f && status.View() == "kept");
        break;
    }
    case 3:
        KADRequests::GetAssetConfig(kAsset);
        break;
    case 4: {
        Nyx::File::Path path;
        Nyx::PString className;
        KADRequests::GetAssetScriptPath(kAsset, path, className);
        break;
    }
    case 5: {
        AssetRecord record;
        const bool known = KADRequests::GetAssetInfo(kAsset, record, ~0u);
        FuzzCheck(known == record.known && (!g_fails || !known));
        break;
    }
    case 6:
        KADRequests::GetAssetName(kAsset);
        break;
    case 7:
        KADRequests::GetAssetInfoFlag9(kAsset);
        break;
    case 8:
        KADRequests::GetAssetInfoFlag11(kAsset, true);
        break;
    case 9: {
        Nyx::PString fileName;
        Nyx::File::Path path;
        KADRequests::GetAssetFilePath(kAsset, 1, fileName, path);
        break;
    }
    case 10:
        FuzzCheck(KADRequests::ResolveKUID(kAsset) == kAsset || !g_fails);
        break;
    case 11:
        FuzzCheck(KADRequests::GetLatestKUID(kAsset) == kAsset || !g_fails);
        break;
    case 12:
        KADRequests::GetAssetDescription(kAsset);
        break;
    case 13: {
        Nyx::PString fileName;
        Nyx::File::Path path;
        std::vector<uint8_t> bytes;
        const int32_t count = KADRequests::GetThumbnail(kAsset, 64, fileName, path, &bytes);
        FuzzCheck(bytes.empty() || bytes.size() == static_cast<uint32_t>(count));
        break;
    }
    case 14: {
        AssetHandleRef opened = KADRequests::OpenAsset(kAsset, true, &log);
        Nyx::PString folderName;
        Nyx::File::Path path;
        KADRequests::GetAssetFolder(opened, folderName, path);
        break;
    }
    case 15:
        KADRequests::CloseAsset(7);
        break;
    case 16: {
        AssetHandleRef handle = UnreportedHandle(false);
        Nyx::PString folderName;
        Nyx::File::Path path;
        KADRequests::GetAssetFolder(handle, folderName, path);
        break;
    }
    case 17:
        KADRequests::RevertAsset(UnreportedHandle(true), &log);
        break;
    case 18: {
        AssetHandleRef handle = UnreportedHandle(true);
        bool second = false;
        KADRequests::CommitAsset(handle, 0, &log, &second);
        break;
    }
    case 19:
        KADRequests::CreateAsset(KUID::Null, 1, Nyx::String("New asset"));
        break;
    case 20:
        KADRequests::DeleteAsset(kAsset, 0, &log);
        break;
    case 21:
        KADRequests::ValidateAsset(name, folder, &log);
        break;
    case 22: {
        KUID installed = KUID::Null;
        KADRequests::InstallFromFolder(folder, 0, installed, nullptr, &log);
        break;
    }
    case 23: {
        int32_t value = 0;
        KADRequests::InstallCDP(Nyx::File::Path("/data/a.cdp"), 0, value, nullptr, &log);
        break;
    }
    case 24: {
        KUIDRing out;
        KADRequests::GetDependencyList(kAsset, out);
        break;
    }
    case 25: {
        KUIDRing out;
        KADRequests::GetObsoletes(kAsset, out);
        break;
    }
    case 26:
        KADRequests::SetFavorite(kAsset, true);
        break;
    case 27:
        KADRequests::SetKeywords(kAsset, Nyx::String("tank;blue"));
        break;
    case 28: {
        Nyx::PString author("kept");
        const bool ok = KADRequests::GetAuthorName(400001, author);
        if (!ok)
            FuzzCheck(author.View() == "kept");
        break;
    }
    case 29:
        KADRequests::GetSetting(Nyx::PString("section"), Nyx::PString("key"));
        break;
    case 30:
        KADRequests::ExportAsset(kAsset, 0, &log);
        break;
    case 31:
        KADRequests::GetLocalData(kAsset, Nyx::PString("Key"));
        break;
    case 32:
        KADRequests::SetLocalData(kAsset, Nyx::PString("Key"), ChunkRef());
        break;
    case 33:
        KADRequests::Request181();
        break;
    case 34: {
        URLFetch* fetch = KADRequests::StartURLFetch(Nyx::PString("http://localhost/x"));
        FuzzCheck(fetch != nullptr);
        URLFetchPoll poll;
        KADRequests::PollURLFetchRequest(*fetch, poll);
        KADRequests::PollURLFetch(*fetch);
        KADRequests::PollURLFetchAlt(*fetch);
        KADRequests::EndURLFetch(fetch);
        break;
    }
    case 35: {
        OnlineProfile profile;
        profile.number0 = 7;
        KADRequests::GetOnlineProfile(profile);
        if (g_fails)
            FuzzCheck(profile.number0 == 7);
        break;
    }
    case 36:
        KADRequests::Request241();
        KADRequests::Request242();
        break;
    case 38: {
        // Request 90 as the author lookup reads it: a short reply falls back
        // to the value -1 and the empty name.
        int32_t value = 7;
        Nyx::PString author("kept");
        const bool ok = KADRequests::QueryAuthorName(400001, value, author);
        FuzzCheck(ok != g_fails);
        if (!ok)
            FuzzCheck(value == -1 && author.Empty());
        ClearAuthorNames();
        FuzzCheck(GetAuthorName(400001) == Nyx::PStringCache::ToLower(GetAuthorName(400001)));
        ClearAuthorNames();
        break;
    }
    case 39: {
        // Request 23 as the description lookup sends it: the path is taken whole,
        // whatever its length.
        Nyx::PString fileName("kept");
        Nyx::File::Path path("/kept");
        if (!KADRequests::GetAssetFilePath(kAsset, 0, fileName, path))
            FuzzCheck(fileName.Empty() && path.Empty());
        break;
    }
    default:
        KADRequests::ListBuilds();
        break;
    }
}

constexpr uint32_t kStubs = 40;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    g_reply = std::string_view(reinterpret_cast<const char*>(data + 1), size - 1);
    g_fails = (data[0] & 0x80) != 0;
    g_calls = 0;
    KADRequests::SetTransport(&Transport);
    Run((data[0] & 0x7F) % kStubs);
    KADRequests::SetTransport(nullptr);
    // Every stub makes at least one call, none a great many.
    FuzzCheck(g_calls >= 1 && g_calls <= 8);
    return 0;
}
