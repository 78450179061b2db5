// The archive file the command host moves assets through: the save job
// writes the listed assets into one file, the install job installs listed
// assets from such a file.
//
// Layout (little-endian): magic "karc" as a u32, u32 version (1 written; 0
// and 1 read), f32 build (version 1 only), u32 end offset (the file's size),
// u32 job value, then the entries, then the null KUID as the end mark. An
// entry is the asset's KUID, a u32 offset just past the entry, and the
// asset's package entry as one binary config file. The command host writes
// the header; the save job writes the entries and the end mark.
#pragma once

#include <cstdint>
#include <functional>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"
#include "kad/client/KADClient.h"
#include "nyx/files/File.h"

class ResultsLog;
class TStream;

namespace ArchiveFormat {
constexpr uint32_t kMagic = 0x6B617263;
constexpr uint32_t kVersion = 1;
constexpr float kBuild = 3.2f;  // 0x404CCCCD
// What int(build * 100 + 0.1) gives for an archive of this build.
constexpr int kSameBuild = 320;
// Header bytes: magic, version, build, end offset, job value.
constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kEndOffsetPosition = 12;
}  // namespace ArchiveFormat

// Install flags of an archive entry: commit after the install, and in
// same-build mode keep the asset as it was built.
constexpr uint32_t kArchiveInstallFlags = KADClient::kInstallCommit;
constexpr uint32_t kArchiveSameBuildInstallFlags = KADClient::kInstallCommit | KADClient::kInstallSameBuild;

// Writes an entry for each listed asset that the daemon exports (request
// 48), then the end mark. True when every listed asset was exported; the
// others are written all the same. Write failures stay in the stream's
// error code.
bool ArchiveSaveToDisk(const KUIDRing& kuids, TStream& out, ResultsLog& log);

// Installs one entry; the installed asset's KUID, or the null KUID.
using ArchiveEntryInstall = std::function<KUID(const ChunkRef& entry, uint32_t installFlags, ResultsLog& log)>;

// Reads the archive and installs the entries whose KUID is wanted; each
// installed KUID leaves `wanted`. True once the end mark was reached, false
// when the header or an entry's offset does not hold (reported into the log).
// The first form installs through the daemon.
bool ArchiveInstall(uint32_t jobValue, const Nyx::File::Path& path, KUIDRing& wanted, ResultsLog& log);
bool ArchiveInstall(uint32_t jobValue, const Nyx::File::Path& path, KUIDRing& wanted, ResultsLog& log,
                    const ArchiveEntryInstall& install);
bool ArchiveInstall(uint32_t jobValue, TStream& archive, KUIDRing& wanted, ResultsLog& log,
                    const ArchiveEntryInstall& install);
