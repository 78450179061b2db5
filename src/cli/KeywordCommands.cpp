// The command words that move asset keywords between the daemon and a
// keyword file.
#include "cli/KeywordCommands.h"

#include "cli/AssetCommands.h"
#include "cli/CommandHandlers.h"
#include "config/formats/ConfigFile.h"
#include "config/kuid/KUIDRing.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"

namespace {

// The backup's default name is not the name the import reads: a backup is
// imported only once it has been copied there, on purpose.
constexpr const char* kImportFileName = "KeywordsDump.dat";
constexpr const char* kKeywordFileExtension = "txt";

}  // namespace

bool BackupKeywords(const char* folder, const char* fileName, const char* extension, ResultsLog& log)
{
    // A group without children: every asset.
    KADFilterElementGroup everything;
    KUIDRing found;
    bool answered = false;
    KADRequests::SearchAssets(&everything, found, &answered);
    // A backup short of the assets the lost daemon did not tell about must
    // not take the place of a whole one.
    if (!answered) {
        LinkWatch::ReportLost(log);
        return false;
    }
    ChunkRef root;
    for (const KUID& kuid : found) {
        const Nyx::String keywords = KADRequests::GetAssetKeywords(kuid, &answered);
        if (!answered) {
            LinkWatch::ReportLost(log);
            return false;
        }
        TDBContainerTag::SetString(root, kuid.ToString(), Nyx::PString(keywords.View()));
    }
    return SaveConfigFile(root, folder, fileName, extension);
}

bool ImportKeywords(const char* folder, const char* fileName, const char* extension, ResultsLog& log)
{
    ChunkRef root;
    if (!LoadConfigFile(root, folder, fileName, extension))
        return false;
    bool ok = true;
    const uint32_t count = root ? root->GetChildCount() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(root, i);
        const KUID kuid = KUID::Parse(name.c_str(), false);
        const Nyx::String keywords(TDBContainerTag::GetString(root, name));
        // Sent cut to nothing, it would erase the asset's keywords.
        if (!KADRequests::KeywordsFitRecord(keywords)) {
            AddAssetError(log, kuid, "The keywords are too long to send to the asset database daemon.");
            ok = false;
            continue;
        }
        ResultsLog refused;
        const bool answered = KADRequests::SetKeywords(kuid, keywords, &refused);
        // The daemon speaks only of a change it could not keep (an asset it
        // does not know is passed over without a word), or, going away
        // before it answers, of why it could not serve.
        refused.Lock();
        for (const ResultsLog::Result* result : refused.Results()) {
            if (result->severity != ResultsLog::kError)
                continue;
            if (answered)
                AddAssetError(log, kuid, result->text.c_str());
            else
                ResultsLog::AddResult(log, ResultsLog::kError, result->text);
            ok = false;
        }
        refused.Unlock();
        if (!answered) {
            LinkWatch::ReportLost(log);
            return false;
        }
    }
    return ok;
}

int BackupKeywordsCommand(ResultsLog& log, const char* fileName)
{
    return BackupKeywords("", fileName, kKeywordFileExtension, log) ? 0 : -1;
}

int ImportKeywordsCommand(ResultsLog& log)
{
    return ImportKeywords(GetContentRootPath().c_str(), kImportFileName, kKeywordFileExtension, log) ? 0 : -1;
}
