// The command words that move asset keywords between the daemon and a
// keyword file.
#include "cli/KeywordCommands.h"

#include "cli/CommandHandlers.h"
#include "config/formats/ConfigFile.h"
#include "config/kuid/KUIDRing.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"

namespace {

// The backup's default name is not the name the import reads: a backup is
// imported only once it has been copied there, on purpose.
constexpr const char* kImportFileName = "KeywordsDump.dat";
constexpr const char* kKeywordFileExtension = "txt";

}  // namespace

bool BackupKeywords(const char* folder, const char* fileName, const char* extension)
{
    // A group without children: every asset.
    KADFilterElementGroup everything;
    KUIDRing found;
    KADRequests::SearchAssets(&everything, found);
    ChunkRef root;
    for (const KUID& kuid : found)
        TDBContainerTag::SetString(root, kuid.ToString(), Nyx::PString(KADRequests::GetAssetKeywords(kuid).View()));
    return SaveConfigFile(root, folder, fileName, extension);
}

bool ImportKeywords(const char* folder, const char* fileName, const char* extension)
{
    ChunkRef root;
    if (!LoadConfigFile(root, folder, fileName, extension))
        return false;
    const uint32_t count = root ? root->GetChildCount() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Nyx::PString name = TDBContainerTag::GetChildName(root, i);
        const KUID kuid = KUID::Parse(name.c_str(), false);
        KADRequests::SetKeywords(kuid, Nyx::String(TDBContainerTag::GetString(root, name)));
    }
    return true;
}

int BackupKeywordsCommand(ResultsLog&, const char* fileName)
{
    return BackupKeywords("", fileName, kKeywordFileExtension) ? 0 : -1;
}

int ImportKeywordsCommand(ResultsLog&)
{
    return ImportKeywords(GetContentRootPath().c_str(), kImportFileName, kKeywordFileExtension) ? 0 : -1;
}
