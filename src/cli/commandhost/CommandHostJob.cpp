#include "cli/commandhost/CommandHostJob.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "cli/commandhost/ArchiveJobs.h"
#include "cli/commandhost/PendingSaves.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/process/Log.h"
#include "core/streams/TStream.h"
#include "kad/client/Housekeeping.h"
#include "kad/client/KADClient.h"
#include "kad/client/SpecRegistryHook.h"
#include "kad/requests/KUIDListWire.h"
#include "nyx/base/String.h"
#include "platform/FileSave.h"
#include "resources/archive/SubstHandle.h"
#include "resources/textures/TextureConvert.h"
#include "tetlib/steps/ValidateAssetOnMainThread.h"

namespace {

const char* JobText(uint32_t id)
{
    switch (id) {
    case CommandHostJob::kValidate:
        return "CommandHostCallback> KAD_CMDHOST_VALIDATE";
    case CommandHostJob::kTextureConvert:
        return "CommandHostCallback> KAD_CMDHOST_TEXTURECONVERT";
    case CommandHostJob::kArchiveSave:
        return "CommandHostCallback> KAD_CMDHOST_ARCHIVE_SAVETODISK";
    case CommandHostJob::kArchiveInstall:
        return "CommandHostCallback> KAD_CMDHOST_ARCHIVE_INSTALL";
    default:
        return nullptr;
    }
}

void ReadPath(TStream& in, Nyx::File::Path& out)
{
    Nyx::String text;
    in.ReadString(text);
    out = Nyx::File::Path(text);
}

// A count is believed only as far as the bytes behind it reach: a payload
// claiming more KUIDs than it carries ends early.
bool ReadKUIDs(TStream& in, KUIDRing& out)
{
    uint32_t count;
    in.ReadInt32(count, 0u);
    if (in.GetError() != 0)
        return false;
    if (count > StreamBytesLeft(in) / KUID::kPackedSize) {
        in.SetError(TStream::kErrShortRecord);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        KUID kuid;
        ReadKUID(in, kuid);
        out.Append(kuid);
    }
    return in.GetError() == 0;
}

void ReportFileError(ResultsLog& log, const Nyx::File::Path& file)
{
    ChunkRef parameters;
    TDBContainerTag::SetString(parameters, Nyx::PString("file_name"), Nyx::PString(file.View()));
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("Unable to write the archive file '$(FILE_NAME)'."),
                          &parameters);
}

bool DefaultValidate(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log)
{
    return MakeValidateAssetTaskCallback(archiveName, folder, log);
}

uint32_t DefaultConvertTextures(const Nyx::PString& archiveName, const Nyx::File::Path& folder, ResultsLog& log)
{
    return RunTextureConvertFolder(archiveName, folder, log);
}

bool DefaultInstallArchive(uint32_t archiveValue, const Nyx::File::Path& file, KUIDRing& wanted, ResultsLog& log)
{
    return ArchiveInstall(archiveValue, file, wanted, log);
}

void DefaultPurge()
{
    if (SpecRegistryHook* registry = KADClient::GetSpecRegistry())
        registry->PurgeAndReportLeaks();
    PurgeUnusedResources();
}

}  // namespace

uint32_t ReadCommandHostJobId(TStream& in)
{
    uint32_t id;
    in.ReadInt32(id, 0u);
    return id;
}

bool ReadCommandHostJobFields(TStream& in, CommandHostJob& job)
{
    switch (job.id) {
    case CommandHostJob::kValidate:
    case CommandHostJob::kTextureConvert:
        in.ReadPString(job.archiveName);
        ReadPath(in, job.folder);
        break;
    case CommandHostJob::kArchiveSave:
    case CommandHostJob::kArchiveInstall:
        in.ReadInt32(job.archiveValue, 0u);
        ReadPath(in, job.file);
        if (!ReadKUIDs(in, job.kuids))
            return false;
        break;
    default:
        return false;
    }
    return in.GetError() == 0;
}

const CommandHostWork& CommandHostWork::Default()
{
    static const CommandHostWork work{&DefaultValidate, &DefaultConvertTextures, &ArchiveSaveToDisk,
                                      &DefaultInstallArchive, &DefaultPurge};
    return work;
}

bool WriteArchiveFile(const CommandHostJob& job, ResultsLog& log, const CommandHostWork& work, bool& allSaved)
{
    allSaved = false;
    if (job.file.Empty()) {
        ReportFileError(log, job.file);
        return false;
    }
    // A save that fails part-way must not leave a file that looks like an
    // archive: the bytes go to a temporary beside the target until they are
    // all there. The save is marked while under way, so that a host killed
    // part-way has its temporary removed by the next host.
    const PendingSaves pending(KADClient::GetSettings().path.Str());
    std::string mark;
    struct Unmark {
        std::string& mark;
        ~Unmark() { PendingSaves::End(mark); }
    } unmark{mark};
    Platform::FileSaveOptions options;
    options.beforeCreate = [&](const std::string& temporary) {
        PendingSaves::End(mark);
        mark = pending.Begin(temporary);
    };
    const std::string target = Nyx::File::Resolve(Nyx::PString(), job.file);
    Platform::FileSave save(target, std::move(options));
    bool ok = save.IsOpen();
    {
        TFile file;
        file.EnsureFile();
        ok = ok && file.GetFile()->OpenDuplicate(save.Descriptor(), job.file, Nyx::File::kModeWrite);
        if (!ok) {
            ReportFileError(log, job.file);
            return false;
        }
        file.WriteInt32(ArchiveFormat::kMagic);
        file.WriteInt32(ArchiveFormat::kVersion);
        file.WriteFloat(ArchiveFormat::kBuild);
        const uint32_t endField = file.BeginBlock();
        file.WriteInt32(job.archiveValue);
        allSaved = work.saveArchive(job.kuids, file, log);
        // Every offset in the file is 32 bits wide.
        ok = file.Flush();
        const int64_t end = file.GetFile()->Tell();
        ok = ok && end >= 0 && end <= int64_t(std::numeric_limits<uint32_t>::max());
        if (ok)
            file.WriteInt32At(endField, static_cast<uint32_t>(end));
        ok = file.Flush() && ok;
        ok = ok && file.GetError() == TStream::kErrNone;
    }
    ok = ok && save.Commit();
    if (!ok)
        ReportFileError(log, job.file);
    return ok;
}

void RunCommandHostJob(TStream& request, TStream& reply, const CommandHostWork& work)
{
    CommandHostJob job;
    job.id = ReadCommandHostJobId(request);
    const char* text = JobText(job.id);
    if (!text) {
        LogMessage("CommandHostCallback> unsupported commandID=%d", static_cast<int32_t>(job.id));
        work.purge();
        return;
    }
    LogMessage("%s", text);
    if (!ReadCommandHostJobFields(request, job))
        return;

    {
        ResultsLog log;
        switch (job.id) {
        case CommandHostJob::kValidate: {
            SubstHandle mount = OpenSubst(job.archiveName.c_str());
            bool valid = work.validate(job.archiveName, job.folder, log);
            log.WriteResults(reply, 0);
            reply.WriteUInt8(valid ? 1 : 0);
            CloseSubst(mount);
            break;
        }
        case CommandHostJob::kTextureConvert: {
            SubstHandle mount = OpenSubst(job.archiveName.c_str());
            uint32_t converted = work.convertTextures(job.archiveName, job.folder, log);
            log.WriteResults(reply, 0);
            reply.WriteInt32(converted);
            CloseSubst(mount);
            break;
        }
        case CommandHostJob::kArchiveSave: {
            bool allSaved = false;
            bool written = WriteArchiveFile(job, log, work, allSaved);
            log.WriteResults(reply, 0);
            reply.WriteInt32(written && allSaved ? 1u : 0u);
            break;
        }
        case CommandHostJob::kArchiveInstall:
            work.installArchive(job.archiveValue, job.file, job.kuids, log);
            log.WriteResults(reply, 0);
            WriteKUIDList(reply, job.kuids);
            break;
        }
        LogMessage("CommandHostCallback> complete");
    }
    work.purge();
}

void CommandHostCallback(TStream& request, TStream& reply) { RunCommandHostJob(request, reply, CommandHostWork::Default()); }
