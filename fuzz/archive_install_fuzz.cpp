// The command host's archive reader over any bytes, against an install that
// only records what it is asked. Input: u8 n (at most 8), n wanted KUIDs of
// 8 bytes, then the archive, whose job value must be 9. Only wanted entries
// whose config names the KUID they are listed under may be installed, each
// wanted KUID at most once, and the wanted list only ever loses KUIDs.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cli/commandhost/ArchiveJobs.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 20))
        return 0;
    const size_t count = std::min<size_t>(data[0] % 9, (size - 1) / KUID::kPackedSize);
    TBuffer head;
    head.WriteBytes(data + 1, static_cast<uint32_t>(count * KUID::kPackedSize));
    head.Rewind();
    KUIDRing wanted;
    std::vector<KUID> before;
    for (size_t i = 0; i < count; ++i) {
        KUID kuid;
        ReadKUID(head, kuid);
        wanted.Append(kuid);
        before.push_back(kuid);
    }
    const size_t start = 1 + count * KUID::kPackedSize;

    TBuffer archive;
    archive.WriteBytes(data + start, static_cast<uint32_t>(size - start));
    archive.Rewind();
    std::vector<KUID> installed;
    ResultsLog log;
    ArchiveInstall(9, archive, wanted, log, [&](const ChunkRef& entry, uint32_t flags, ResultsLog&) {
        KUID kuid = TDBContainerTag::GetKUID(entry, Nyx::PString("kuid"), KUID::Null);
        if (std::find(before.begin(), before.end(), kuid) == before.end() ||
            std::find(installed.begin(), installed.end(), kuid) != installed.end())
            std::abort();
        if (flags != kArchiveInstallFlags && flags != kArchiveSameBuildInstallFlags)
            std::abort();
        // Every other asset fails to install.
        if (kuid.content % 2 != 0)
            return KUID::Null;
        installed.push_back(kuid);
        return kuid;
    });
    for (const KUID& kuid : wanted) {
        if (std::find(before.begin(), before.end(), kuid) == before.end() ||
            std::find(installed.begin(), installed.end(), kuid) != installed.end())
            std::abort();
    }
    return 0;
}
