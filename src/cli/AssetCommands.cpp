// The command words that work on single assets, or on search results,
// through the asset-database daemon.
#include "cli/AssetCommands.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/CommandHandlers.h"
#include "config/tree/ACSChunk.h"
#include "config/formats/ConfigFile.h"
#include "config/results/KestroProperty.h"
#include "config/results/ResultsLog.h"
#include "kad/client/AssetHandle.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/AuthorNames.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/UserKUID.h"
#include "nyx/files/File.h"

PropertyRef AssetProperty(const KUID& kuid)
{
    PropertyRef asset;
    asset.Reset(new KestroPropertyAssetID(Nyx::PString("AssetID"), kuid));
    return asset;
}

void AddAssetError(ResultsLog& log, const KUID& kuid, const char* text)
{
    ResultsLog::AddResult(log, ResultsLog::kError, AssetProperty(kuid), Nyx::String(text));
}

namespace {

char StatusLetter(char upper, bool set) { return set ? upper : static_cast<char>(upper - 'A' + 'a'); }

// The status line without its "+ " prefix; the M and F letters come from
// their own requests.
Nyx::String FormatAssetStatus(const KUID& kuid, const AssetRecord& record, bool missingDependencies, bool faulty)
{
    const char letters[8] = {
        StatusLetter('E', record.GetFlag(AssetRecord::kFlagOpenForEdit)),
        StatusLetter('I', record.GetFlag(AssetRecord::kFlagInstalled)),
        StatusLetter('A', record.GetFlag(AssetRecord::kFlagStatusA)),
        StatusLetter('D', record.GetFlag(AssetRecord::kFlagStatusD)),
        StatusLetter('L', record.GetFlag(AssetRecord::kFlagLocallyModified)),
        StatusLetter('M', missingDependencies),
        StatusLetter('F', faulty),
        '\0',
    };
    return Nyx::String::Printf("%s : %s : %s : %s", kuid.ToString().c_str(), letters, record.categoryText.c_str(),
                               record.displayName.c_str());
}

}  // namespace

int EditCommand(ResultsLog& log, const KUID& kuid)
{
    AssetHandleRef handle = KADRequests::OpenAsset(kuid, true, &log);
    if (!handle.IsValid()) {
        AddAssetError(log, kuid, "Unknown AssetID.");
        return -1;
    }
    Nyx::PString name;
    Nyx::File::Path folder;
    KADRequests::GetAssetFolder(handle, name, folder);
    std::printf("+ %s : %s\n", kuid.ToString().c_str(), folder.c_str());
    return 0;
}

int PrintConfigCommand(ResultsLog& log, const KUID& kuid)
{
    ChunkRef config = KADRequests::GetAssetConfig(kuid);
    if (config.IsNullOrUntyped()) {
        AddAssetError(log, kuid, "Asset is not local.");
        return -1;
    }
    std::printf("+ Start of %s dump\n", kuid.ToString().c_str());
    std::fflush(stdout);
    PrintConfig(config);
    std::fflush(stdout);
    std::printf("+ End of %s dump\n", kuid.ToString().c_str());
    return 0;
}

int CommitCommand(ResultsLog& log, const KUID& kuid)
{
    AssetHandleRef handle = KADRequests::OpenAsset(kuid, true, nullptr);
    return KADRequests::CommitAsset(handle, 0, &log) ? 0 : -1;
}

int RevertCommand(ResultsLog&, const KUID& kuid)
{
    AssetHandleRef handle = KADRequests::OpenAsset(kuid, false, nullptr);
    return KADRequests::RevertAsset(handle, nullptr) ? 0 : -1;
}

int DeleteCommand(ResultsLog&, const KUID& kuid) { return KADRequests::DeleteAsset(kuid, 1, nullptr) ? 0 : -1; }

bool PrintAssetStatus(const KUID& kuid, ResultsLog& log)
{
    AssetRecord record;
    if (!KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll)) {
        AddAssetError(log, kuid, "Unknown AssetID.");
        return false;
    }
    bool missing = KADRequests::GetAssetInfoFlag11(kuid, false);
    bool faulty = KADRequests::GetAssetInfoFlag9(kuid);
    std::printf("+ %s\n", FormatAssetStatus(kuid, record, missing, faulty).c_str());
    return true;
}

int StatusCommand(ResultsLog& log, const KUID& kuid) { return PrintAssetStatus(kuid, log) ? 0 : -1; }

bool ValidateAsset(const KUID& kuid, ResultsLog& log)
{
    AssetHandleRef handle = KADRequests::OpenAsset(kuid, false, &log);
    if (!handle.IsValid())
        return false;
    Nyx::PString name;
    Nyx::File::Path folder;
    if (!KADRequests::GetAssetFolder(handle, name, folder))
        return false;
    log.PushCurrentAsset(AssetProperty(kuid));
    bool answered = false;
    KADRequests::ValidateAsset(name, folder, &log, &answered);
    log.PopCurrentAsset();
    // Findings are results in the log, not a failure of the command; a
    // validation nobody answered has not been done.
    if (!answered) {
        LinkWatch::ReportLost(log);
        return false;
    }
    return true;
}

int ValidateCommand(ResultsLog& log, const KUID& kuid) { return ValidateAsset(kuid, log) ? 0 : -1; }

int GenerateKUIDCommand(ResultsLog& log)
{
    UserKUIDDaemon daemon;
    daemon.latestVersion = [](const KUID& kuid) { return KADRequests::GetLatestKUID(kuid); };
    daemon.isKnown = [](const KUID& kuid) {
        AssetRecord record;
        return KADRequests::GetAssetInfo(kuid, record, 0);
    };
    KUID kuid = GenerateUserKUID(daemon);
    std::printf("<KUID2:%d:%u:%u>\n", kuid.user, static_cast<uint32_t>(kuid.content),
                static_cast<uint32_t>(kuid.version));
    if (kuid == KUID::Null) {
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("No KUID could be generated in the user's range."));
        return -1;
    }
    return 0;
}

Nyx::PString AuthorNameOfAsset(const KUID& kuid)
{
    AssetRecord record;
    KADRequests::GetAssetInfo(kuid, record, AssetRecord::kMaskAll);
    return LookupAuthorName(record);
}

int AuthorsCommand(ResultsLog&)
{
    KADFilterElementGroup filter;
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocal));
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocallyAvailable));
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocallyEnabled));
    KUIDRing found;
    KADRequests::SearchAssets(&filter, found);
    // Interned names: equal texts are the same string.
    std::vector<Nyx::PString> names;
    for (const KUID& kuid : found) {
        Nyx::PString name = AuthorNameOfAsset(kuid);
        bool seen = false;
        for (const Nyx::PString& known : names)
            seen = seen || known == name;
        if (!seen)
            names.push_back(name);
    }
    for (const Nyx::PString& name : names)
        std::printf("%s\n", name.c_str());
    return 0;
}

int SearchByCategoryCommand(ResultsLog& log, bool includeFetchery, const char* expression)
{
    std::string upper(expression ? expression : "");
    if (upper.size() > KADFilterElementString::kMaxTextLength) {
        ResultsLog::AddResult(log, ResultsLog::kError,
                              Nyx::String("The category expression is longer than 65534 characters."));
        return -1;
    }
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    KADFilterElementGroup filter;
    filter.AddChild(std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList,
                                                             Nyx::PString(upper)));
    if (!includeFetchery)
        filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocal));
    KUIDRing found;
    KADRequests::SearchAssets(&filter, found);
    uint32_t count = found.Count();
    if (count == 0)
        return -1;
    std::printf("+ %u : assets matching the specified criteria\n", count);
    uint32_t index = 0;
    for (const KUID& kuid : found)
        std::printf("+ #%u : %s\n", index++, kuid.ToString().c_str());
    return 0;
}

int ListBuildsCommand(ResultsLog& log, const char* outputPath)
{
    // The file is opened before the daemon is asked, so that a file that
    // cannot be written fails the command as such; it is cut only once the
    // answer is in, so that a daemon lost before it answers leaves an
    // earlier list as it was.
    Nyx::File file;
    if (!file.Open(Nyx::File::Path(outputPath), Nyx::File::kModeWriteKeep)) {
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("Failed to open output file."));
        return -1;
    }
    bool answered = false;
    Nyx::PString builds = KADRequests::ListBuilds(&answered);
    if (!answered) {
        file.Close();
        LinkWatch::ReportLost(log);
        return -1;
    }
    std::string text(builds.View());
    text += '\n';
    const bool written =
        file.Truncate() && file.Write(text.data(), 1, static_cast<uint32_t>(text.size())) == text.size();
    // A full disk may only show when the file is closed.
    if (!file.Close() || !written) {
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("Unable to write output file."));
        return -1;
    }
    return 0;
}
