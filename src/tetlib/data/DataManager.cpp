#include "tetlib/data/DataManager.h"

#include <algorithm>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/process/Log.h"
#include "kad/requests/KADRequests.h"
#include "nyx/ResourceSystem.h"
#include "nyx/RenderKernel.h"
#include "nyx/scene/SceneGraph.h"
#include "resources/archive/ArchiveCache.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/LanguageSelection.h"
#include "tetlib/mesh/MeshData.h"

namespace TETLib {

namespace {

DataManager* g_dataManager = nullptr;

// The definition files, in the order their containers are merged: a later
// file's container replaces an earlier one of the same name.
constexpr const char* kDefinitionFiles[] = {"inheritance.txt", "kind.txt", "container.txt"};

Nyx::File::Path InFolder(const Nyx::PString& folder, std::string_view name)
{
    Nyx::File::Path path(folder);
    path.AddPath(name);
    return path;
}

ChunkRef LoadTree(const Nyx::PString& folder, std::string_view name)
{
    ChunkRef tree;
    LoadConfigFile(tree, nullptr, InFolder(folder, name).c_str(), "txt");
    return tree;
}

}  // namespace

DataManager::DataManager(std::string_view dataFolder) : dataFolder_(dataFolder) {}

DataManager::~DataManager() = default;

bool DataManager::Create(std::string_view dataFolder)
{
    if (!g_dataManager)
        g_dataManager = new DataManager(dataFolder);
    return true;
}

DataManager& DataManager::Instance()
{
    if (!g_dataManager)
        FatalError("DataManager::Instance> datamanger not initialised");
    if (!g_dataManager->loaded_) {
        // Set first: a load that fails is not tried again.
        g_dataManager->loaded_ = true;
        g_dataManager->LoadDataFiles();
    }
    return *g_dataManager;
}

DataManager* DataManager::Existing() { return g_dataManager; }

void DataManager::Destroy()
{
    DataManager* manager = g_dataManager;
    if (!manager)
        return;
    // Details never read are not written: the file would lose what the
    // user had in it. A data folder that is not there has nowhere to keep
    // them.
    if (manager->loaded_ && Nyx::File::IsFolder(Nyx::File::Path(manager->dataFolder_)))
        manager->WritePersonalDetails();
    manager->CollectGarbage();
    ArchiveCache::Release(manager->archive_);
    manager->archive_ = nullptr;
    manager->tagList8_.Clear();
    manager->tagList9_.Clear();
    manager->TearDownPreviewScene();
    manager->folderFiles_.clear();
    manager->possibilityLists_.clear();
    delete manager;
    g_dataManager = nullptr;
}

// ---- the data files ----

bool DataManager::LoadDataFiles()
{
    Nyx::PString code;
    ReadLanguageSettings(code);

    if (!Nyx::File::IsFolder(Nyx::File::Path(dataFolder_)))
        return false;
    ReadPersonalDetails();
    // Read as the definitions will be; nothing is kept of them here.
    LoadTree(dataFolder_, kDefinitionFiles[0]);
    LoadTree(dataFolder_, kDefinitionFiles[1]);

    const bool scanned = ScanDataFolder(Nyx::File::Path(dataFolder_), folderFiles_);
    possibilityLists_.clear();
    for (const auto& [name, lines] : folderFiles_) {
        // Files are walked in name order: of names that differ only in
        // case, the first keeps its list.
        auto [it, added] = possibilityLists_.try_emplace(Nyx::PStringCache::ToLower(name));
        if (!added)
            continue;
        for (const DataLine& line : lines)
            if (!line.key.Empty())
                it->second.push_back(line.key);
    }
    if (!scanned)
        return false;

    std::string bytes;
    if (ReadDataFile(InFolder(dataFolder_, kNewFormTemplateFile), bytes))
        for (std::string_view line : SplitTextLines(bytes))
            newFormTemplate_.emplace_back(line);
    newFormTemplate_.emplace_back(kNewFormTemplateEnd);
    return true;
}

void DataManager::LoadDefinitions()
{
    if (definitionsLoaded_)
        return;
    definitions_ = ChunkRef(new TDBContainerTag);
    for (const char* file : kDefinitionFiles) {
        const ChunkRef tree = LoadTree(dataFolder_, file);
        const uint32_t count = tree.ChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            Nyx::PString name;
            ChunkRef child = TDBContainerTag::GetChildContainerAt(tree, i, name);
            if (!child)
                continue;
            for (ChunkRef old = definitions_->FindChild(name); old.IsReal(); old = definitions_->FindChild(name))
                definitions_->RemoveChild(old);
            definitions_->AddChild(name, child);
        }
    }
    definitionsLoaded_ = true;
}

const std::vector<Nyx::PString>* DataManager::FindPossibilityList(const Nyx::PString& source) const
{
    const Nyx::PString lower = Nyx::PStringCache::ToLower(source);
    auto it = possibilityLists_.find(Nyx::PString(lower.Str() + ".txt"));
    if (it == possibilityLists_.end())
        it = possibilityLists_.find(lower);
    return it == possibilityLists_.end() ? nullptr : &it->second;
}

void DataManager::ReadLanguageSettings(Nyx::PString& code)
{
    code = KADRequests::GetSetting(Nyx::PString("internet"), Nyx::PString("language"));
    if (code.Empty())
        code = Nyx::PString("US");
    localeId_ = LocaleIdForLanguageCode(code.c_str());
}

void DataManager::ReadPersonalDetails()
{
    ReadPersonalDetailsFile(InFolder(dataFolder_, kPersonalDetailsFile), personalDetails_);
}

bool DataManager::WritePersonalDetails() const
{
    const Nyx::File::Path path = InFolder(dataFolder_, kPersonalDetailsFile);
    if (WritePersonalDetailsFile(path, personalDetails_))
        return true;
    LogMessage("DataManager::WritePersonalDetails> Unable to write '%s'", path.c_str());
    return false;
}

Nyx::PString DataManager::ConvertToAnsi(const char* text) { return Nyx::PString(text); }

// ---- the asset under check ----

void DataManager::SetCurrentAssetFolder(const Nyx::File::Path& folder, const char* folderName)
{
    ArchiveCache::Release(archive_);
    archive_ = nullptr;
    const Nyx::File::Path root = GetContentRootPath();
    if (folderName && *folderName) {
        assetFolderName_ = Nyx::PString(folderName);
        assetFolder_ = Nyx::PString(folder.View());
    } else {
        // A relative path already lies below the content root.
        Nyx::File::Path relative = folder;
        if (!folder.IsAbsolute() || MakeRelativeTo(root, folder, relative)) {
            assetFolderName_ = Nyx::PString(FirstComponent(relative));
            assetFolder_ = Nyx::PString(relative.View());
        } else {
            assetFolderName_ = Nyx::PString();
            assetFolder_ = Nyx::PString(folder.View());
        }
    }
    if (!assetFolderName_.Empty())
        archive_ = ArchiveCache::Acquire(assetFolderName_, root);
}

Nyx::PString DataManager::GetRootPath() const
{
    if (!assetFolderName_.Empty())
        return assetFolderName_;
    return Nyx::PString(GetContentRootPath().View());
}

void DataManager::CollectGarbage()
{
    listedFolder.clear();
    listedNames.clear();
    while (!loadedObjects_.empty())
        EraseLoadedObject(loadedObjects_.begin());
    currentObject_ = nullptr;
    containerMeshes_.clear();
    meshContainers_.clear();
    if (resourceSystem_)
        resourceSystem_->DropUnusedResources();
    Nyx::PStringCache::CollectGarbage();
    if (renderKernel_ && renderKernel_->GetSceneGraph())
        renderKernel_->GetSceneGraph()->PurgeDeathRow();
}

// ---- the registers ----

void DataManager::AddToList3(const Nyx::PString& key, Tag* tag)
{
    tagLists_[key].Append(tag);
    ListChanged34();
}

void DataManager::AddToList4(const Nyx::PString& key, Container* item)
{
    namedItems_[key].Append(item);
    ForgetContainerNames();
    ListChanged34();
}

void DataManager::AddToList8(Tag* tag)
{
    if (!tagList8_.Contains(tag))
        tagList8_.Append(tag);
    ListChanged8();
}

void DataManager::AddToList9(Tag* tag)
{
    tagList9_.Append(tag);
    ListChanged9();
}

bool DataManager::FindByFile(const Nyx::PString& name, const Nyx::PString& key) const
{
    // Each choice of a large config asks: the names are gathered once, not
    // walked for every question.
    FoundNames& found = foundNames_;
    if (!found.containersKept) {
        found.containerNames.clear();
        for (const auto& [listKey, items] : namedItems_) {
            FlatHashMap<const void*, bool>& names = found.containerNames[listKey];
            for (const Container* item : items.Items())
                if (item)
                    names.Insert(item->GetName().Identity());
        }
        found.containersKept = true;
    }
    if (!found.attachmentsKept) {
        found.attachmentNames.Clear();
        for (const auto& [file, mesh] : loadedObjects_)
            for (const AttachmentPoint& point : mesh->GetAttachmentPoints())
                found.attachmentNames.Insert(point.name.Identity());
        found.attachmentsKept = true;
    }
    auto names = found.containerNames.find(key);
    if (names != found.containerNames.end() && names->second.Contains(name.Identity()))
        return true;
    return found.attachmentNames.Contains(name.Identity());
}

const std::vector<Tag*>* DataManager::FindTagList(const Nyx::PString& key) const
{
    auto it = tagLists_.find(key);
    return it == tagLists_.end() ? nullptr : &it->second.Items();
}

const std::vector<Container*>* DataManager::FindNamedItems(const Nyx::PString& key) const
{
    auto it = namedItems_.find(key);
    return it == namedItems_.end() ? nullptr : &it->second.Items();
}

MeshData* DataManager::StoreLoadedObject(const Nyx::PString& fileName, std::unique_ptr<MeshData> mesh)
{
    if (!mesh)
        return nullptr;
    RemoveLoadedObject(fileName);
    MeshData* kept = mesh.get();
    loadedObjects_[fileName] = std::move(mesh);
    ForgetAttachmentNames();
    return kept;
}

MeshData* DataManager::FindLoadedObject(const Nyx::PString& fileName) const
{
    auto it = loadedObjects_.find(fileName);
    return it == loadedObjects_.end() ? nullptr : it->second.get();
}

bool DataManager::RemoveLoadedObject(const Nyx::PString& fileName)
{
    auto it = loadedObjects_.find(fileName);
    if (it == loadedObjects_.end())
        return false;
    EraseLoadedObject(it);
    return true;
}

void DataManager::EraseLoadedObject(std::map<Nyx::PString, std::unique_ptr<MeshData>>::iterator it)
{
    const MeshData* mesh = it->second.get();
    if (currentObject_ == mesh)
        currentObject_ = nullptr;
    if (auto set = meshContainers_.find(mesh); set != meshContainers_.end()) {
        for (ContainerSerial container : set->second) {
            auto entry = containerMeshes_.find(container);
            if (entry != containerMeshes_.end() && entry->second == mesh)
                containerMeshes_.erase(entry);
        }
        meshContainers_.erase(set);
    }
    loadedObjects_.erase(it);
    ForgetAttachmentNames();
}

void DataManager::SetContainerMesh(ContainerSerial container, MeshData* mesh)
{
    if (mesh) {
        containerMeshes_[container] = mesh;
        meshContainers_[mesh].push_back(container);
    } else {
        containerMeshes_.erase(container);
    }
}

MeshData* DataManager::FindContainerMesh(ContainerSerial container) const
{
    auto it = containerMeshes_.find(container);
    return it == containerMeshes_.end() ? nullptr : it->second;
}

void DataManager::UnregisterContainer(const Container& container)
{
    const ContainerSerial serial = container.Serial();
    bool removed = false;
    for (auto it = loadedObjects_.begin(); it != loadedObjects_.end();) {
        auto next = std::next(it);
        if (it->second->GetOwner() == serial) {
            EraseLoadedObject(it);
            removed = true;
        }
        it = next;
    }
    if (removed) {
        ListChanged8();
        ListChanged9();
    }
    containerMeshes_.erase(serial);
    for (const char* key : {"attached-track", "queues", "mesh-table"}) {
        auto it = namedItems_.find(Nyx::PString(key));
        if (it != namedItems_.end())
            it->second.Clear();
    }
    for (auto& [key, items] : namedItems_)
        items.EraseAll(&container);
    ForgetContainerNames();
}

void DataManager::UnregisterTag(const Tag* tag)
{
    for (auto& [key, tags] : tagLists_)
        tags.EraseAll(tag);
    tagList8_.EraseAll(tag);
    tagList9_.EraseAll(tag);
}

}  // namespace TETLib
