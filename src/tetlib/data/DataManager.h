// The validation library's data manager: its data folder "TETData/" and
// the files in it, the merged template definitions, the asset folder under
// check with its archive, the preview scene and the dummy materials through
// which the product's vertex types reach the engine, and the registers in
// which the checks of one validation record what they have seen.
//
// One process-wide instance: start-up creates it right after the error
// handler; every later user reaches it through Instance, whose first call
// loads the data files. Shut-down saves the user's personal details and
// destroys it. It takes no lock: one validation runs at a time, and start-up
// and shut-down run on the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "core/containers/FlatHashMap.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "tetlib/data/DataFolderScan.h"
#include "tetlib/data/PersonalDetails.h"
#include "tetlib/data/PointerRegister.h"
#include "tetlib/errors/ObjectSerial.h"

struct EngineContext;
class KestroResourceDatabase;

namespace Nyx {
class GeometryChunk;
class Material;
class OS;
class ParallelLight;
class Particle;
class RenderKernel;
class ResourceSystem;
class Viewer;
}  // namespace Nyx

namespace TETLib {

class Container;
class MeshData;
class Tag;

class DataManager {
public:
    // The asset build until a check stores the one of the asset under check.
    static constexpr float kInitialAssetBuild = 3.2f;
    static constexpr const char* kPersonalDetailsFile = "personalDetails.txt";
    static constexpr const char* kNewFormTemplateFile = "newFormTemplate.txt";
    // The word that closes the new-form template.
    static constexpr const char* kNewFormTemplateEnd = "imagelist";
    // The dummy materials, in the order they are loaded; the first
    // kFirstRequiredMaterial may fail without stopping the registration.
    static constexpr uint32_t kVertexTypeMaterialCount = 14;
    static constexpr uint32_t kFirstRequiredMaterial = 9;
    static constexpr uint32_t kVertexTypeChunkCount = 4;
    static const char* const kVertexTypeMaterialNames[kVertexTypeMaterialCount];

    // Makes the instance (when there is none) with its data folder; true.
    static bool Create(std::string_view dataFolder);
    // The instance; a fatal error before Create. The first call loads the
    // data files, once, however that load ends.
    static DataManager& Instance();
    // The instance without the load; null outside Create .. Destroy.
    static DataManager* Existing();
    // Saves the personal details (when the data files were loaded and the
    // data folder exists), collects garbage, gives the archive back, takes
    // the preview scene down and deletes the instance. Nothing without one.
    static void Destroy();

    DataManager(const DataManager&) = delete;
    DataManager& operator=(const DataManager&) = delete;
    virtual ~DataManager();

    // ---- the engine side ----

    // Keeps the context's engine objects and builds the preview scene: a
    // root particle in the render kernel's scene and, when the context
    // holds a viewer (which the manager then owns), the viewer pointed at
    // it, a parallel light and the display's fog. False without a render
    // kernel.
    virtual bool SetupPreviewScene(const EngineContext& context);
    // Loads the dummy materials through the render kernel once: makes and
    // enrols the three alpha-blend caches, loads the fourteen materials
    // (logging each that fails; a failure among the last five ends the
    // registration), sets the shared white texture on gloss and reflect
    // and makes a geometry chunk from each of notex, onetex, gloss and
    // reflect. Nothing without a render kernel.
    void RegisterKestroBumpVertexType();
    // Gives back everything the registration took, when it ran.
    static void ReleaseVertexTypeMaterials();
    static bool IsVertexTypeRegistered();
    // What the registration holds, for diagnostics and tests: the material
    // of that row of kVertexTypeMaterialNames (null when it did not load)
    // and the chunks made.
    static Nyx::Material* GetVertexTypeMaterial(uint32_t index);
    static uint32_t GetVertexTypeChunkCount();
    static Nyx::GeometryChunk* GetVertexTypeChunk(uint32_t index);

    Nyx::ResourceSystem* GetResourceSystem() const noexcept { return resourceSystem_; }
    Nyx::RenderKernel* GetRenderKernel() const noexcept { return renderKernel_; }
    Nyx::OS* GetOS() const noexcept { return os_; }
    Nyx::Particle* GetSceneRoot() const noexcept { return sceneRoot_; }
    Nyx::ParallelLight* GetPreviewLight() const noexcept { return previewLight_; }
    Nyx::Viewer* GetViewer() const noexcept { return viewer_; }

    // ---- the data files ----

    // The first load: the language setting, then (when the data folder
    // exists) the personal details, the definition files read and dropped,
    // the data-folder scan and the new-form template. False when the folder
    // is missing or the scan failed.
    bool LoadDataFiles();
    bool IsLoaded() const noexcept { return loaded_; }
    // Merges the top-level containers of "inheritance.txt", "kind.txt" and
    // "container.txt", in that order, into the definitions, a later one
    // replacing an earlier one of the same name. Merges once; later calls
    // return at once.
    void LoadDefinitions();
    bool AreDefinitionsLoaded() const noexcept { return definitionsLoaded_; }
    // A reference to the definitions; null before LoadDefinitions.
    ChunkRef GetDefinitions() const { return definitions_; }

    // Asks the daemon for the user's language and records the locale it
    // selects; the code asked is given back.
    void ReadLanguageSettings(Nyx::PString& code);
    // The locale the last ReadLanguageSettings selected; 0 before one.
    uint32_t GetLocaleId() const noexcept { return localeId_; }

    const Nyx::PString& GetDataFolder() const noexcept { return dataFolder_; }
    // Every data-folder file by name, as lines split into key and text.
    const DataFolderFiles& GetFolderFiles() const noexcept { return folderFiles_; }
    // The lines of "newFormTemplate.txt" and then the closing word.
    const std::vector<Nyx::PString>& GetNewFormTemplate() const noexcept { return newFormTemplate_; }
    // The choices a template entry's "source" names: the keys of the data-folder file
    // "<source>.txt", else "<source>", the name matched without regard to
    // case; null when there is no such file.
    const std::vector<Nyx::PString>* FindPossibilityList(const Nyx::PString& source) const;

    void ReadPersonalDetails();
    // False (and logged) when the file could not be written.
    bool WritePersonalDetails() const;
    PersonalDetails& GetPersonalDetails() noexcept { return personalDetails_; }

    // The UTF-8 text as the interned string the checks report; null gives
    // the empty string. Texts are UTF-8 throughout, so nothing changes.
    static Nyx::PString ConvertToAnsi(const char* text);

    // ---- the asset under check ----

    // Gives back the archive held, then takes the one of the asset's data
    // folder: the name given, else the first component of the folder's
    // path below the content root (a relative path is taken as one).
    void SetCurrentAssetFolder(const Nyx::File::Path& folder, const char* folderName);
    const Nyx::PString& GetAssetFolder() const noexcept { return assetFolder_; }
    const Nyx::PString& GetAssetFolderName() const noexcept { return assetFolderName_; }
    KestroResourceDatabase* GetArchive() const noexcept { return archive_; }
    // The data-folder name when there is one, else the content root.
    Nyx::PString GetRootPath() const;

    // True the first time a definition is found to inherit itself (through
    // any chain), so that the loop is logged once however many checks meet
    // it.
    bool NoteInheritLoop(const Nyx::PString& definition) { return inheritLoops_.insert(definition).second; }

    // Deletes every loaded mesh, then lets the engine and the string cache
    // drop what nobody holds.
    void CollectGarbage();

    // ---- the registers ----

    // Register slots: 3 appends a tag to the list of its source word, 4 a
    // container to the list of a name, 8 a tag once, 9 a tag; each then
    // runs its changed hook.
    virtual void AddToList3(const Nyx::PString& key, Tag* tag);
    virtual void AddToList4(const Nyx::PString& key, Container* item);
    virtual void ListChanged34() {}
    virtual void ListChanged8() {}
    virtual void ListChanged9() {}
    virtual void AddToList8(Tag* tag);
    virtual void AddToList9(Tag* tag);
    // True when a container registered under the key has that name, or a
    // loaded mesh has an attachment point of that name.
    virtual bool FindByFile(const Nyx::PString& name, const Nyx::PString& key) const;

    const std::vector<Tag*>* FindTagList(const Nyx::PString& key) const;
    const std::vector<Container*>* FindNamedItems(const Nyx::PString& key) const;
    const std::vector<Tag*>& GetTagList8() const { return tagList8_.Items(); }
    const std::vector<Tag*>& GetTagList9() const { return tagList9_.Items(); }

    // Loads the mesh file that a file reference of the container names,
    // when it is a mesh form the manager knows, and keeps it for the
    // container; the mesh loaded, else null.
    MeshData* LoadMeshData(const Nyx::File::Path& path, Container& owner);
    // Loads and checks the file by its extension: ".im" and ".lm" (also
    // as a "...lm.txt" text) meshes, old ".pm" meshes (reported), ".kin"
    // animations onto the current mesh. A mesh that loads becomes the
    // current one. The path lies below the content root (an absolute one
    // is taken there first); messages are bound to the container when one
    // is given. Returns the mesh this call loaded, else null: a failed load
    // or another kind of file never hands back an older mesh.
    MeshData* LoadMeshFile(const Nyx::PString& fileName, Container* container);
    // Keeps the mesh under its file name, deleting one kept there before;
    // returns it.
    MeshData* StoreLoadedObject(const Nyx::PString& fileName, std::unique_ptr<MeshData> mesh);
    MeshData* FindLoadedObject(const Nyx::PString& fileName) const;
    // Deletes the mesh kept under the name; false when there is none.
    bool RemoveLoadedObject(const Nyx::PString& fileName);
    size_t GetLoadedObjectCount() const noexcept { return loadedObjects_.size(); }
    MeshData* GetCurrentObject() const noexcept { return currentObject_; }
    void SetCurrentObject(MeshData* mesh) noexcept { currentObject_ = mesh; }
    // The mesh a mesh-table entry container loaded; null when none.
    void SetContainerMesh(ContainerSerial container, MeshData* mesh);
    MeshData* FindContainerMesh(ContainerSerial container) const;

    // Called by a container's destructor: deletes the meshes it loaded,
    // empties the "attached-track", "queues" and "mesh-table" lists and
    // forgets the container wherever else it is registered.
    void UnregisterContainer(const Container& container);
    // Called by a tag's destructor: forgets the tag in every list.
    void UnregisterTag(const Tag* tag);

    // ---- what the checks of the asset under check set and read ----

    // When set, the config step leaves the template check out for assets
    // older than build 2.9. The validation driver clears it.
    bool skipOldAssets = false;
    // The asset does not lie in the data folder "editing".
    bool outsideEditing = false;
    // A mesh problem of the asset was reported; cleared after each asset.
    bool meshProblemReported = false;
    // Sourced choices are not reported while set; cleared after each asset.
    bool skipSourcedChoices = false;
    // The config has an "alias" tag.
    bool alias = false;
    // A config container holds "mesh-asset".
    bool meshAsset = false;
    float assetBuild = kInitialAssetBuild;
    // "config.chump" or "config.txt", as the driver chose it.
    Nyx::PString configFileName;
    // The names in the asset's folder as the driver read them to choose its
    // config; the texture check walks them rather than reading the folder
    // again. Emptied with the garbage after each asset.
    std::string listedFolder;
    std::vector<std::string> listedNames;

private:
    explicit DataManager(std::string_view dataFolder);

    // Shows the mesh in the preview scene as the current one, kept under
    // the file name.
    MeshData* MakeCurrent(const Nyx::PString& fileName, std::unique_ptr<MeshData> mesh);
    // The three performance warnings of an LOD mesh.
    void CheckLODPerformance(const MeshData& mesh, const Container* container) const;

    // Deletes the mesh and forgets it wherever it is referred to.
    void EraseLoadedObject(std::map<Nyx::PString, std::unique_ptr<MeshData>>::iterator it);
    // What FindByFile looks for, gathered from the registered containers
    // and the loaded meshes when it is first asked after a change of them.
    // Names by the identities of their interned nodes, which the containers
    // and meshes keep alive while they are kept here.
    struct FoundNames {
        bool containersKept = false;
        std::map<Nyx::PString, FlatHashMap<const void*, bool>> containerNames;  // by key
        bool attachmentsKept = false;
        FlatHashMap<const void*, bool> attachmentNames;
    };
    void ForgetContainerNames() noexcept { foundNames_.containersKept = false; }
    void ForgetAttachmentNames() noexcept { foundNames_.attachmentsKept = false; }
    void TearDownPreviewScene();

    bool loaded_ = false;
    bool definitionsLoaded_ = false;
    Nyx::PString dataFolder_;
    Nyx::PString assetFolder_;
    Nyx::PString assetFolderName_;
    KestroResourceDatabase* archive_ = nullptr;
    ChunkRef definitions_;
    uint32_t localeId_ = 0;

    Nyx::ResourceSystem* resourceSystem_ = nullptr;
    Nyx::RenderKernel* renderKernel_ = nullptr;
    Nyx::OS* os_ = nullptr;
    Nyx::Viewer* viewer_ = nullptr;
    Nyx::Particle* sceneRoot_ = nullptr;
    Nyx::ParallelLight* previewLight_ = nullptr;

    PersonalDetails personalDetails_;
    DataFolderFiles folderFiles_;
    std::map<Nyx::PString, std::vector<Nyx::PString>> possibilityLists_;  // by lower-cased file name
    std::vector<Nyx::PString> newFormTemplate_;

    std::map<Nyx::PString, std::unique_ptr<MeshData>> loadedObjects_;
    MeshData* currentObject_ = nullptr;
    std::map<ContainerSerial, MeshData*> containerMeshes_;
    // The containers each mesh was set for (some may since have another).
    std::unordered_map<const MeshData*, std::vector<ContainerSerial>> meshContainers_;
    std::map<Nyx::PString, PointerRegister<Container>> namedItems_;
    std::map<Nyx::PString, PointerRegister<Tag>> tagLists_;
    PointerRegister<Tag> tagList8_;
    PointerRegister<Tag> tagList9_;
    mutable FoundNames foundNames_;
    std::set<Nyx::PString> inheritLoops_;
};

}  // namespace TETLib
