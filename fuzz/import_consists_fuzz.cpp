// The "importconsists" list of arbitrary bytes, imported against a daemon
// that works: it knows one consist ("Known Consist"), and every asset it
// creates has a whole working copy in a folder of this target. The first
// input byte picks the list's form (odd: binary, even: text); the rest is
// the list. Whatever the list holds, the command ends, every consist it
// creates is committed and its handle closed, and none fails.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzTempFolder.h"
#include "cli/CommandHandlers.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/streams/TStream.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/KUIDListWire.h"

namespace {

const KUID kKnownConsist(5, 5, 0);
const KUID kNewAsset(77, 900, 0);
constexpr uint64_t kHandle = 9;

struct Counts {
    uint32_t created = 0;
    uint32_t committed = 0;
    uint32_t closed = 0;
    uint32_t reverted = 0;
    uint32_t other = 0;
};

Counts g_counts;
std::string g_assetFolder;

bool Transport(uint32_t number, TStream&, TStream& reply, KADClientCallback*, ResultsLog*, bool)
{
    switch (number) {
    case KADRequests::kSearchAssets: {
        const KUID found[] = {kKnownConsist};
        WriteKUIDList(reply, found);
        break;
    }
    case KADRequests::kGetAssetInfo: {
        AssetRecord record;
        record.known = true;
        record.displayName = Nyx::String("Known Consist");
        WriteAssetInfo(reply, record);
        break;
    }
    case KADRequests::kCreateAsset:
        ++g_counts.created;
        reply.WriteUInt64(kHandle);
        WriteKUID(reply, kNewAsset);
        reply.WritePString(Nyx::PString("new"));
        reply.WriteString(Nyx::AnsiString(Nyx::String(g_assetFolder)));
        break;
    case KADRequests::kCommitAsset:
        ++g_counts.committed;
        reply.WriteUInt8(1);
        reply.WriteUInt8(0);
        break;
    case KADRequests::kCloseAsset:
        ++g_counts.closed;
        break;
    case KADRequests::kRevertAsset:
        ++g_counts.reverted;
        reply.WriteUInt8(1);
        break;
    default:
        ++g_counts.other;
        break;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzTempFolder folder("import_consists_fuzz");
    if (size == 0)
        return 0;
    g_assetFolder = folder / "asset";
    folder.Write("asset/config.txt", "kuid <kuid:77:900>\nkind \"traincar\"\n");
    const char* listName = (data[0] & 1) ? "consists.chump" : "consists.txt";
    folder.Write(listName, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

    g_counts = Counts();
    KADRequests::SetTransport(&Transport);
    ResultsLog log;
    const int code = ImportConsistsCommand(log, (folder / listName).c_str());
    KADRequests::SetTransport(nullptr);

    if (code != 0 && code != -1)
        std::abort();
    if (g_counts.committed != g_counts.created || g_counts.closed != g_counts.created || g_counts.reverted != 0 ||
        g_counts.other != 0)
        std::abort();
    if (code == 0 && log.GetErrorCount() != 0)
        std::abort();
    folder.Clear();
    return 0;
}
