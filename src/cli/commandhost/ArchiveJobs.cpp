#include "cli/commandhost/ArchiveJobs.h"

#include <cmath>
#include <limits>

#include "config/formats/BinaryConfig.h"
#include "config/results/InterfaceTextDB.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "kad/client/KADClient.h"
#include "kad/packages/CDP.h"
#include "kad/requests/KADRequests.h"
#include "nyx/base/String.h"

namespace {

KUID EntryKUID(const ChunkRef& entry) { return entry ? CDP::GetEntryKUID(entry) : KUID::Null; }

void ReportKey(ResultsLog& log, const char* key, const char* parameter = nullptr, const Nyx::String& value = {})
{
    ChunkRef parameters;
    if (parameter)
        TDBContainerTag::SetString(parameters, Nyx::PString(parameter), Nyx::PString(value.View()));
    ResultsLog::AddResult(log, ResultsLog::kError, GetInterfaceText(Nyx::String(key)),
                          parameter ? &parameters : nullptr);
}

void ReportUnreadable(ResultsLog& log) { ReportKey(log, "$kad_archive_unreadable"); }

// int(build * 100 + 0.1) == 320, for a build that has an integer value at
// all.
bool IsSameBuild(float build)
{
    double scaled = build * 100 + 0.1;
    if (!std::isfinite(scaled) || scaled <= std::numeric_limits<int>::min() ||
        scaled >= std::numeric_limits<int>::max())
        return false;
    return static_cast<int>(scaled) == ArchiveFormat::kSameBuild;
}

// Every copy of the KUID leaves the list: the daemon asked once for it.
void RemoveAll(KUIDRing& list, const KUID& kuid)
{
    for (auto it = list.Find(kuid); !it.AtEnd(); it = list.Find(kuid))
        list.Erase(it);
}

KUID InstallThroughDaemon(const ChunkRef& entry, uint32_t flags, ResultsLog& log)
{
    bool secondResult = false;
    return KADClient::InstallPackageEntry(entry, log, flags, &secondResult);
}

}  // namespace

bool ArchiveSaveToDisk(const KUIDRing& kuids, TStream& out, ResultsLog& log)
{
    bool allExported = true;
    for (const KUID& kuid : kuids) {
        ChunkRef entry = KADRequests::ExportAsset(kuid, 0, &log);
        if (EntryKUID(entry).IsNull()) {
            // The daemon has said why in the log.
            allExported = false;
            continue;
        }
        WriteKUID(out, kuid);
        uint32_t endField = out.BeginBlock();
        WriteBinaryConfig(out, entry);
        out.WriteInt32At(endField, out.Tell());
    }
    WriteKUID(out, KUID::Null);
    return allExported;
}

bool ArchiveInstall(uint32_t jobValue, const Nyx::File::Path& path, KUIDRing& wanted, ResultsLog& log)
{
    return ArchiveInstall(jobValue, path, wanted, log, &InstallThroughDaemon);
}

bool ArchiveInstall(uint32_t jobValue, const Nyx::File::Path& path, KUIDRing& wanted, ResultsLog& log,
                    const ArchiveEntryInstall& install)
{
    TFile archive;
    archive.Open(path, Nyx::File::kModeRead);
    // Offsets are 32 bits wide: a larger file cannot be one the save wrote.
    if (archive.IsOpen() && archive.GetFile()->Size() > int64_t(std::numeric_limits<uint32_t>::max())) {
        ReportUnreadable(log);
        return false;
    }
    return ArchiveInstall(jobValue, archive, wanted, log, install);
}

bool ArchiveInstall(uint32_t jobValue, TStream& archive, KUIDRing& wanted, ResultsLog& log,
                    const ArchiveEntryInstall& install)
{
    uint32_t magic;
    uint32_t version;
    archive.ReadInt32(magic, 0u);
    archive.ReadInt32(version, 0u);
    if (version > ArchiveFormat::kVersion) {
        ReportKey(log, "$kad_archive_version", "version", Nyx::String::Printf("%u", version));
        return false;
    }
    bool sameBuild = false;
    if (version == 1) {
        float build;
        archive.ReadFloat(build, 0.0f);
        sameBuild = IsSameBuild(build);
    }
    uint32_t endOffset;
    uint32_t value;
    archive.ReadInt32(endOffset, 0u);
    archive.ReadInt32(value, 0u);
    const uint32_t size = archive.GetSize();
    // A header cut short reads as zeros, which no archive holds.
    if (magic != ArchiveFormat::kMagic || endOffset != size || value != jobValue) {
        ReportUnreadable(log);
        return false;
    }

    // Room is measured against the size: a file stream's error code also
    // tells of read-ahead that ran into the end, so it cannot say whether a
    // field was cut short.
    const uint32_t flags = sameBuild ? kArchiveSameBuildInstallFlags : kArchiveInstallFlags;
    for (;;) {
        const uint32_t at = archive.Tell();
        if (at > size || size - at < KUID::kPackedSize) {
            ReportUnreadable(log);  // no end mark
            return false;
        }
        KUID kuid;
        ReadKUID(archive, kuid);
        if (kuid.IsNull())
            return true;
        if (size - at < KUID::kPackedSize + 4) {
            ReportUnreadable(log);
            return false;
        }
        uint32_t entryEnd;
        archive.ReadInt32(entryEnd, 0u);
        const uint32_t entryStart = at + KUID::kPackedSize + 4;
        // Each entry is skipped by its offset; one that does not lead
        // forward, or leads out of the file, would loop or jump anywhere.
        if (entryEnd <= entryStart || entryEnd > size) {
            ReportUnreadable(log);
            return false;
        }
        if (!wanted.Find(kuid).AtEnd()) {
            ChunkRef entry;
            {
                TSubFile body(&archive, entryStart, entryEnd);
                CDP::ReadAssetEntry(body, entry);
            }
            if (entry && EntryKUID(entry) == kuid && !install(entry, flags, log).IsNull())
                RemoveAll(wanted, kuid);
        }
        archive.SetPosition(entryEnd);
    }
}
