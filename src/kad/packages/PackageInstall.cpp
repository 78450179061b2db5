// Installing one content-package entry through the daemon, and the display
// name of an asset config.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/results/InterfaceTextDB.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/AssetFolderFiles.h"
#include "core/files/ContentRoot.h"
#include "kad/client/AssetHandle.h"
#include "kad/client/AssetText.h"
#include "kad/client/KADClient.h"
#include "kad/packages/CDP.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADRequests.h"

namespace {

// Below this build (times 100) names were written with underscores for
// spaces.
constexpr int kUnderscoreNamesBefore = 290;

bool IsNameSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One result with the asset it concerns, its KUID text also filling the
// "asset_kuid" placeholder of the key's text.
void AddInstallResult(ResultsLog& log, int32_t severity, const char* key, const KUID& kuid)
{
    PropertyRef asset;
    asset.Reset(new KestroPropertyAssetID(Nyx::PString("AssetID"), kuid));
    ChunkRef parameters;
    TDBContainerTag::SetString(parameters, Nyx::PString("asset_kuid"), kuid.ToString());
    ResultsLog::AddResult(log, severity, asset, GetInterfaceText(Nyx::String(key)), &parameters);
}

// Edits nobody committed are never thrown away: a working copy that an
// install is about to empty goes to the data root's trash first, under a
// name of its own. The path it went to, from the data root on; empty when
// it could not be moved (and so still holds the edits).
std::string MoveWorkingCopyToTrash(const Nyx::File::Path& folder)
{
    std::string root = GetContentRootPath().Str();
    std::string from = folder.Str();
    while (from.size() > 1 && from.back() == '/')
        from.pop_back();
    const size_t slash = from.find_last_of('/');
    std::string name = slash == std::string::npos ? from : from.substr(slash + 1);
    name.erase(0, name.find_first_not_of('.'));
    if (root.empty() || name.empty())
        return {};
    if (root.back() != '/')
        root += '/';
    ::mkdir((root + "trash").c_str(), 0777);
    const std::string base = "trash/" + name + "-working-copy";
    std::string moved = base;
    for (uint32_t i = 2;; ++i) {
        // Never over a folder already in the trash, which an empty one
        // would let a plain rename replace.
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, (root + moved).c_str(), RENAME_NOREPLACE) == 0)
            return moved;
        if (errno != EEXIST || i > 10000)
            return {};
        moved = base + "-" + std::to_string(i);
    }
}

const char* PromptKey(const AssetRecord& record)
{
    if (record.GetFlag(AssetRecord::kFlagOpenForEdit))
        return "$kad_prompt_openforedit";
    if (record.GetFlag(AssetRecord::kFlagBuiltin))
        return "$kad_prompt_builtin";
    if (record.GetFlag(AssetRecord::kFlagVRQItem))
        return "$kad_prompt_vrq_item";
    return "$kad_prompt_alreadyinstalled";
}

}  // namespace

KUID KADClient::InstallPackageEntry(const ChunkRef& entry, ResultsLog& log, uint32_t flags, bool* secondResult,
                                    KADInstallPrompt* prompt)
{
    // Without a KUID there is no asset to install as: asked to create one,
    // the daemon would make up a KUID of its own, which nobody asked for
    // and nobody would commit or revert.
    const KUID kuid = CDP::GetEntryKUID(entry);
    if (kuid.IsNull()) {
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(CDP::kNoKUIDText));
        return KUID::Null;
    }

    const ChunkRef files = CDP::GetEntryFiles(entry);
    flags &= ~kInstallChecksumMatches;
    if (CDP::VerifyEntryChecksum(entry))
        flags |= kInstallChecksumMatches;

    AssetRecord record;
    KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll);
    const Nyx::String displayName = GetConfigDisplayName(entry);

    const bool present = record.known && record.GetFlag(AssetRecord::kFlagInstalled);
    if (present) {
        if (prompt) {
            const std::string key = PromptKey(record);
            const uint32_t answer = prompt->Ask(GetInterfaceText(Nyx::String(key)),
                                                GetInterfaceText(Nyx::String(key + "_log")), displayName, log);
            if (answer != 2 && answer != 3)
                return KUID::Null;
        }
        // Installing over an asset edits it; the user commits it.
        flags &= ~kInstallCommit;
    }

    AssetHandleRef handle = present ? KADRequests::OpenAsset(kuid, true, nullptr)
                                    : KADRequests::CreateAsset(kuid, 0, displayName);
    if (!handle.IsValid()) {
        AddInstallResult(log, ResultsLog::kError, "$kad_write_error", kuid);
        return KUID::Null;
    }

    // Without a folder of its own the files would land wherever a relative
    // path leads.
    Nyx::PString folderName;
    Nyx::File::Path folder;
    if (!KADRequests::GetAssetFolder(handle, folderName, folder) || !folder.IsAbsolute()) {
        AddInstallResult(log, ResultsLog::kError, "$kad_write_error", kuid);
        KADRequests::RevertAsset(handle, &log);
        return KUID::Null;
    }
    if (present && record.GetFlag(AssetRecord::kFlagOpenForEdit)) {
        const std::string moved = MoveWorkingCopyToTrash(folder);
        if (moved.empty()) {
            AddInstallResult(log, ResultsLog::kError, "$kad_overwrite_error", kuid);
            return KUID::Null;
        }
        PropertyRef asset;
        asset.Reset(new KestroPropertyAssetID(Nyx::PString("AssetID"), kuid));
        ResultsLog::AddResult(log, ResultsLog::kWarning, asset,
                              Nyx::String("The asset was open for edit: its working copy, with the edits not "
                                          "committed, has been moved to " + moved + "."));
        MakeContentFolder(Nyx::PString(), folder);
    } else if (present) {
        if (!DeleteContentPath(Nyx::PString(), folder)) {
            AddInstallResult(log, ResultsLog::kError, "$kad_overwrite_error", kuid);
            return KUID::Null;
        }
        MakeContentFolder(Nyx::PString(), folder);
    }

    if (!CDP::ExtractFolder(files, folder, CDP::GetEntryCompression(entry)).Empty()) {
        AddInstallResult(log, ResultsLog::kError, "$kad_failed_install", kuid);
        KADRequests::RevertAsset(handle, &log);
        return KUID::Null;
    }

    // An asset without its config is no asset: it is not left installed.
    const bool commit = (flags & kInstallCommit) != 0;
    ChunkRef config = CDP::MakeConfigFromEntry(entry);
    // A committed install needs no sync of its own: the commit puts the
    // working copy on disk whole before it becomes the installed folder.
    if (!config || !SaveConfigFile(config, folder.c_str(), commit ? "config.chump" : "config.txt", nullptr,
                                   commit ? ConfigSync::kByCaller : ConfigSync::kBeforeReplace)) {
        AddInstallResult(log, ResultsLog::kError, "$kad_failed_install", kuid);
        KADRequests::RevertAsset(handle, &log);
        return KUID::Null;
    }

    if (commit) {
        uint32_t mode = (flags & kInstallChecksumMatches) ? 6 : 0;
        if (flags & kInstallSameBuild)
            mode += 8;
        if (!KADRequests::CommitAsset(handle, mode, &log, secondResult))
            return KUID::Null;
    }
    AddInstallResult(log, ResultsLog::kOutput, "$kad_installed", kuid);
    return kuid;
}

Nyx::String KADClient::GetConfigDisplayName(const ChunkRef& config)
{
    Nyx::String text;
    for (const char* tag : {"username", "username", "name", "name", "asset-filename"}) {
        if (!text.Empty())
            break;
        text = Nyx::String(TDBContainerTag::GetString(config, Nyx::PString(tag)));
    }
    const float build = TDBContainerTag::GetFloat(config, Nyx::PString("kestro-build"), 0.0f);
    if (static_cast<int>((build + 0.005f) * 100.0f) < kUnderscoreNamesBefore)
        text = UnderscoresToSpaces(text);
    return CleanDisplayName(text);
}

Nyx::String KADClient::CleanDisplayName(const Nyx::String& text)
{
    std::string name = text.Str();
    size_t first = 0;
    size_t end = name.size();
    while (first < end && IsNameSpace(name[first]))
        ++first;
    while (end > first && IsNameSpace(name[end - 1]))
        --end;
    name = name.substr(first, end - first);
    if (!name.empty())
        name.erase(0, static_cast<size_t>(QuoteMarkLength(name.data(), static_cast<int32_t>(name.size()))));
    if (!name.empty()) {
        const int32_t length = static_cast<int32_t>(name.size());
        name.erase(name.size() - static_cast<size_t>(QuoteMarkLength(name.data() + name.size() - 1, -length)));
    }
    if (name.empty())
        return GetInterfaceText(Nyx::String("$cm_general_untitled"));
    return Nyx::String(std::move(name));
}
