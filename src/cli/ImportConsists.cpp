// "importconsists": turns an old route-editor consist list into consist
// assets, one for every train the daemon has no consist of that name for.
#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>

#include "cli/CommandHandlers.h"
#include "cli/Environment.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "kad/client/AssetHandle.h"
#include "kad/client/LinkWatch.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "nyx/files/File.h"

namespace {

// Goes back to the working folder it found, on every way out.
class FolderReturn {
public:
    FolderReturn() : previous_(CurrentWorkingFolder()) {}
    ~FolderReturn()
    {
        if (!previous_.empty() && ::chdir(previous_.c_str()) != 0)
            std::perror("chdir");
    }
    FolderReturn(const FolderReturn&) = delete;
    FolderReturn& operator=(const FolderReturn&) = delete;

private:
    std::string previous_;
};

struct KUIDOrder {
    bool operator()(const KUID& a, const KUID& b) const noexcept
    {
        auto key = [](const KUID& k) {
            return std::tuple(static_cast<uint32_t>(k.user), static_cast<uint32_t>(k.content),
                              static_cast<uint32_t>(k.version));
        };
        return key(a) < key(b);
    }
};

Nyx::PString Numbered(const char* format, int index) { return Nyx::PString(Nyx::String::Printf(format, index).c_str()); }

// Whether the daemon has a consist of the train's name; `answered` is false
// when the daemon did not answer, and nothing is known then.
bool ConsistExists(const Nyx::PString& trainName, bool& answered)
{
    KADFilterElementGroup filter;
    filter.AddChild(std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList,
                                                             Nyx::PString("CN")));
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocal));
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocallyAvailable));
    filter.AddChild(std::make_unique<KADFilterElementBool>(KADFilterElementBool::kListingPrivilege));
    KADFilterElementGroup::AddGroup(filter, std::make_unique<KADFilterElementBool>(KADFilterElementBool::kObsolete));
    KUIDRing found;
    KADRequests::SearchAssets(&filter, found, &answered);
    for (const KUID& kuid : found) {
        const Nyx::String name = KADRequests::GetAssetName(kuid, &answered);
        if (!answered)
            return false;
        if (name.View() == trainName.View())
            return true;
    }
    return false;
}

// Fills the new asset's config from the train's car list.
void FillConsist(ChunkRef& config, const Nyx::PString& trainName, const ChunkRef& list)
{
    TDBContainerTag::SetString(config, Nyx::PString("kind"), Nyx::PString("consist"));
    TDBContainerTag::SetString(config, Nyx::PString("username"), trainName);
    TDBContainerTag::SetFloat(config, Nyx::PString("kestro-build"), 3.1f);

    ChunkRef consistList;
    consistList.EnsureContainer();
    std::set<KUID, KUIDOrder> kuids;
    for (int j = 0;; ++j) {
        Nyx::PString carName = Numbered("car-%d", j);
        if (!TDBContainerTag::HasChild(list, carName))
            break;
        ChunkRef car;
        car.EnsureContainer();
        KUID kuid = TDBContainerTag::GetKUID(list, carName, KUID::Null);
        TDBContainerTag::SetKUID(car, Nyx::PString("car-kuid"), kuid);
        TDBContainerTag::SetInt(car, Nyx::PString("car-num"), TDBContainerTag::GetInt(list, Numbered("num-%d", j), 0));
        TDBContainerTag::SetBool(car, Nyx::PString("car-dir"),
                                 TDBContainerTag::GetBool(list, Numbered("dir-%d", j), false));
        kuids.insert(kuid);
        TDBContainerTag::SetChildContainer(consistList, carName, car);
    }
    TDBContainerTag::SetChildContainer(config, Nyx::PString("consist-list"), consistList);

    ChunkRef table;
    table.EnsureContainer();
    int index = 0;
    for (const KUID& kuid : kuids)
        TDBContainerTag::SetKUID(table, Numbered("%d", index++), kuid);
    TDBContainerTag::SetChildContainer(config, Nyx::PString("kuid-table"), table);
}

void TrainError(ResultsLog& log, const Nyx::PString& trainName, const char* what)
{
    ResultsLog::AddResult(log, ResultsLog::kError,
                          Nyx::String::Printf("Consist \"%s\" was not imported: %s", trainName.c_str(), what));
}

// One train that has no consist yet. Every failure leaves the train out,
// and a half-made asset is discarded: a new asset whose folder or config is
// not there would have its config written somewhere else, or without the
// asset's own KUID.
void ImportTrain(ResultsLog& log, const Nyx::PString& trainName, const ChunkRef& list)
{
    AssetHandleRef handle = KADRequests::CreateAsset(KUID::Null, 1, Nyx::String());
    if (!handle.IsValid()) {
        TrainError(log, trainName, "the asset could not be created.");
        return;
    }
    Nyx::PString folderName;
    Nyx::File::Path folder;
    if (!KADRequests::GetAssetFolder(handle, folderName, folder) || !folder.IsAbsolute()) {
        TrainError(log, trainName, "the new asset has no folder.");
        KADRequests::RevertAsset(handle, nullptr);
        return;
    }
    ChunkRef config;
    if (!LoadConfigFile(config, folder.c_str(), "config.txt") || config.IsNullOrUntyped() ||
        !TDBContainerTag::HasChild(config, Nyx::PString("kuid"))) {
        TrainError(log, trainName, "the new asset's config could not be read.");
        KADRequests::RevertAsset(handle, nullptr);
        return;
    }
    FillConsist(config, trainName, list);
    if (!SaveConfigFile(config, folder.c_str(), "config.txt", "txt")) {
        TrainError(log, trainName, "the new asset's config could not be written.");
        KADRequests::RevertAsset(handle, nullptr);
        return;
    }
    KADRequests::CommitAsset(handle, 0, &log);
}

}  // namespace

int ImportConsistsCommand(ResultsLog& log, const char* listPath)
{
    FolderReturn back;
    const std::string& initial = GetInitialWorkingFolder();
    // A folder that cannot be entered leaves relative list paths relative
    // to where the process is.
    if (!initial.empty() && ::chdir(initial.c_str()) != 0)
        std::perror("chdir");
    ChunkRef tree;
    if (!LoadConfigFile(tree, nullptr, listPath)) {
        ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String("Invalid input path."));
        return -1;
    }
    for (int i = 0;; ++i) {
        Nyx::PString trainTag = Numbered("train-%d", i);
        if (!TDBContainerTag::HasChild(tree, trainTag))
            break;
        ChunkRef train = TDBContainerTag::GetChildContainer(tree, trainTag);
        if (!TDBContainerTag::HasChild(train, Nyx::PString("name")) ||
            !TDBContainerTag::HasChild(train, Nyx::PString("list")))
            continue;
        Nyx::PString trainName = TDBContainerTag::GetString(train, Nyx::PString("name"));
        bool answered = false;
        const bool exists = ConsistExists(trainName, answered);
        // A lost daemon has not said that the train has no consist: the
        // train is not imported as if it had none.
        if (!answered) {
            LinkWatch::ReportLost(log);
            return -1;
        }
        if (exists)
            continue;
        ImportTrain(log, trainName, TDBContainerTag::GetChildContainer(train, Nyx::PString("list")));
    }
    return 0;
}
