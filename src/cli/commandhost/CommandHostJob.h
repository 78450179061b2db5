// The jobs the daemon hands its command host, one notification each: the
// job's payload read, the job run with a results log of its own, and the
// answer written for the daemon (sent back as request 141).
//
// Payloads (u32 little-endian, u32-length strings, 8-byte KUIDs), after the
// u32 job id:
//   0 validate         archive name, asset folder       -> results, u8 result
//   1 texture convert  archive name, folder             -> results, u32 result
//   2 archive save     u32 value, file path, KUID list  -> results, u32 saved
//   3 archive install  u32 value, file path, KUID list  -> results, KUIDs not installed
// A payload that ends early is dropped: no work, an empty answer.
#pragma once

#include <cstdint>

#include "config/kuid/KUIDRing.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ResultsLog;
class TStream;

struct CommandHostJob {
    enum Id : uint32_t {
        kValidate = 0,
        kTextureConvert = 1,
        kArchiveSave = 2,
        kArchiveInstall = 3,
    };

    uint32_t id = kValidate;
    Nyx::PString archiveName;   // jobs 0 and 1
    Nyx::File::Path folder;     // jobs 0 and 1
    uint32_t archiveValue = 0;  // jobs 2 and 3
    Nyx::File::Path file;       // jobs 2 and 3
    KUIDRing kuids;             // jobs 2 and 3

    bool IsSupported() const noexcept { return id <= kArchiveInstall; }
};

// Reads the u32 job id (0 when the payload is too short for it).
uint32_t ReadCommandHostJobId(TStream& in);
// Reads the fields of a supported job after its id. False when the payload
// ends early: a field cut short, or a KUID count larger than the bytes left
// can hold.
bool ReadCommandHostJobFields(TStream& in, CommandHostJob& job);

// What the jobs do beyond reading and answering; tests put their own in.
struct CommandHostWork {
    bool (*validate)(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log);
    uint32_t (*convertTextures)(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log);
    bool (*saveArchive)(const KUIDRing& kuids, TStream& out, ResultsLog& log);
    bool (*installArchive)(uint32_t archiveValue, const Nyx::File::Path& file, KUIDRing& wanted, ResultsLog& log);
    // Run after every job and after an unsupported id.
    void (*purge)();

    // The validation task, the texture conversion, the archive jobs and the
    // description-registry and resource purges.
    static const CommandHostWork& Default();
};

// Handles one job payload and writes the answer into `reply`.
void RunCommandHostJob(TStream& request, TStream& reply, const CommandHostWork& work);
// The daemon client's command-host callback: RunCommandHostJob with the
// default work.
void CommandHostCallback(TStream& request, TStream& reply);

// Job 2's file: the header, the saved assets and the end offset patched in,
// written beside the target and renamed over it once complete. False, with
// nothing left behind, when the file could not be written whole; true
// otherwise, `allSaved` telling whether every asset made it in.
bool WriteArchiveFile(const CommandHostJob& job, ResultsLog& log, const CommandHostWork& work, bool& allSaved);
