// The command host's job payloads, as the daemon's notifications bring them:
// the id and the fields of each of the four jobs, then the job itself with
// work that touches nothing outside the process. A job whose fields read
// must hold no more KUIDs than its bytes carried, and its answer must read
// back: the results, then the job's own answer field.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/commandhost/CommandHostJob.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "kad/requests/KUIDListWire.h"

namespace {

bool Validate(const Nyx::PString&, const Nyx::File::Path& folder, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kWarning, Nyx::String(folder.Str()));
    return !folder.Empty();
}

uint32_t Textures(const Nyx::PString&, const Nyx::File::Path& folder, ResultsLog& log)
{
    ResultsLog::AddResult(log, ResultsLog::kInformation, Nyx::String(folder.Str()));
    return folder.Length();
}

bool Save(const KUIDRing& kuids, TStream& out, ResultsLog&)
{
    for (const KUID& kuid : kuids)
        WriteKUID(out, kuid);
    return true;
}

bool Install(uint32_t, const Nyx::File::Path&, KUIDRing& wanted, ResultsLog&)
{
    // Installs every other one.
    for (auto it = wanted.begin(); !it.AtEnd();) {
        it = wanted.Erase(it);
        if (!it.AtEnd())
            ++it;
    }
    return true;
}

void Purge() {}

void Load(TBuffer& s, const uint8_t* data, size_t size)
{
    s.WriteBytes(data, static_cast<uint32_t>(size));
    s.Rewind();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    SetMainThreadId();

    {
        TBuffer request;
        Load(request, data, size);
        CommandHostJob job;
        job.id = ReadCommandHostJobId(request);
        if (job.IsSupported() && ReadCommandHostJobFields(request, job)) {
            if (uint64_t(job.kuids.Count()) * KUID::kPackedSize > size)
                std::abort();
        }
    }

    // Job 2 writes its archive wherever the payload says: only its reading
    // is exercised, above.
    if (size >= 4 && data[0] == CommandHostJob::kArchiveSave && data[1] == 0 && data[2] == 0 && data[3] == 0)
        return 0;
    TBuffer request;
    Load(request, data, size);
    TBuffer reply;
    const CommandHostWork work{&Validate, &Textures, &Save, &Install, &Purge};
    RunCommandHostJob(request, reply, work);
    if (reply.GetBuffer()->DataLength() == 0)
        return 0;
    reply.Rewind();
    ResultsLog log;
    ReadResults(reply, log);
    if (reply.GetError() != 0 || log.GetResultCount() > 1)
        std::abort();
    const uint32_t left = StreamBytesLeft(reply);
    const uint32_t id = data[0];
    if ((id == CommandHostJob::kValidate && left != 1) || (id == CommandHostJob::kTextureConvert && left != 4))
        std::abort();
    if (id == CommandHostJob::kArchiveInstall) {
        KUIDRing rest;
        if (!ReadKUIDList(reply, rest) || StreamBytesLeft(reply) != 0)
            std::abort();
    }
    return 0;
}
