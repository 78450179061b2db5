// The data manager's side of the mesh checks: which files load as what,
// the current mesh and the LOD performance rules.
#include <cctype>
#include <string>

#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/AssetBuild.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/mesh/LODMeshData.h"
#include "tetlib/mesh/MeshData.h"

namespace TETLib {

namespace {

constexpr int32_t kFirstCurrentBuild = 290;
// Below this many polygons the last level of detail saves nothing.
constexpr uint32_t kLowPolyLimit = 300;
// Kinds whose LOD meshes are drawn as parts of another asset.
constexpr const char* kKindsWithoutLODRules[] = {"traincar", "bogey", "interior", "pantograph", "drivercharacter"};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The file below the content root, or nothing when it lies outside it.
bool BelowContentRoot(const Nyx::PString& fileName, Nyx::File::Path& relative)
{
    Nyx::File::Path path = LexicallyNormal(Nyx::File::Path(fileName));
    if (path.IsAbsolute()) {
        Nyx::File::Path inside;
        if (!MakeRelativeTo(LexicallyNormal(GetContentRootPath()), path, inside))
            return false;
        path = inside;
    }
    const std::string_view view = path.View();
    if (view.empty() || view == ".." || view.substr(0, 3) == "../")
        return false;
    relative = path;
    return true;
}

ContainerSerial SerialOf(const Container* container)
{
    return container ? container->Serial() : ContainerSerial::kNone;
}

void Report(const Nyx::PString& text, const Container* container, bool warning)
{
    ErrorHandler* handler = ErrorHandler::Instance();
    if (!handler)
        return;
    if (container)
        warning ? handler->ReportWarning(text, container->Serial()) : handler->ReportError(text, container->Serial());
    else
        warning ? handler->ReportWarning(text) : handler->ReportError(text);
}

}  // namespace

MeshData* DataManager::LoadMeshData(const Nyx::File::Path& path, Container& owner)
{
    MeshData* mesh = LoadMeshFile(Nyx::PString(path.View()), &owner);
    if (mesh)
        SetContainerMesh(owner.Serial(), mesh);
    return mesh;
}

MeshData* DataManager::LoadMeshFile(const Nyx::PString& fileName, Container* container)
{
    Nyx::File::Path path;
    if (!BelowContentRoot(fileName, path))
        return nullptr;
    const Nyx::PString file(path.View());
    std::string_view extension = path.Extension();
    if (EqualNoCase(extension, "txt")) {
        // The text form of an LOD mesh: "x.lm.txt".
        std::string_view rest = path.View().substr(0, path.View().size() - 4);
        if (rest.size() < 2 || !EqualNoCase(rest.substr(rest.size() - 2), "lm"))
            return nullptr;
        extension = "lm";
    }

    if (EqualNoCase(extension, "im") || EqualNoCase(extension, "lm")) {
        const bool lod = EqualNoCase(extension, "lm");
        std::unique_ptr<MeshData> mesh = lod ? std::make_unique<LODMeshData>(file, SerialOf(container))
                                             : std::make_unique<MeshData>(file, SerialOf(container));
        if (!mesh->Load(file, SerialOf(container))) {
            meshProblemReported = true;
            return nullptr;
        }
        MeshData* current = MakeCurrent(file, std::move(mesh));
        if (lod)
            CheckLODPerformance(*current, container);
        return current;
    }

    if (EqualNoCase(extension, "pm")) {
        meshProblemReported = true;
        const Nyx::PString text = MessageText(Nyx::PString("$tet_dm_unsupportedformat"));
        Report(text, container, BuildNumber(assetBuild) < kFirstCurrentBuild);
        // Loaded for its messages alone.
        MeshData temporary(file, SerialOf(container));
        temporary.Load(file, SerialOf(container));
        return nullptr;
    }

    if (EqualNoCase(extension, "kin")) {
        MeshData* current = GetCurrentObject();
        if (!current || !current->IsLoaded()) {
            if (!meshProblemReported) {
                meshProblemReported = true;
                Report(MessageText(Nyx::PString("$tet_dm_animationfailed"), {file}), container, false);
            }
        } else {
            current->LoadAnimation(file);
        }
    }
    return nullptr;
}

MeshData* DataManager::MakeCurrent(const Nyx::PString& fileName, std::unique_ptr<MeshData> mesh)
{
    if (currentObject_)
        currentObject_->ClearFlag(Nyx::Particle::kFlagActive);
    RemoveLoadedObject(fileName);
    MeshData* kept = mesh.get();
    if (sceneRoot_)
        sceneRoot_->AddChild(kept);
    kept->SetFlag(Nyx::Particle::kFlagActive);
    loadedObjects_[fileName] = std::move(mesh);
    ForgetAttachmentNames();
    currentObject_ = kept;
    ListChanged8();
    ListChanged9();
    // The preview light hangs below the scene root too, and lights what
    // shares its parent: the mesh is lit from here on.
    return kept;
}

void DataManager::CheckLODPerformance(const MeshData& mesh, const Container* container) const
{
    if (!container)
        return;
    const Container* root = container;
    while (root->GetParent())
        root = root->GetParent();
    const ChunkRef& config = root->GetConfig();
    if (!config)
        return;
    const Nyx::PString kind = TDBContainerTag::GetString(config, Nyx::PString("kind"));
    for (const char* exempt : kKindsWithoutLODRules)
        if (kind.View() == exempt)
            return;
    MeshInstanceView* instance = mesh.GetInstance();
    if (!instance)
        return;
    const Nyx::PString& path = mesh.GetMeshPath();
    if (instance->GetAttachmentCount() == 0 && instance->GetAttachedCount() == 0)
        Report(MessageText(Nyx::PString("$tet_lm_performance_no_attachments"), {path}), container, true);
    const uint32_t levels = instance->GetLODLevelCount();
    if (levels == 1)
        Report(MessageText(Nyx::PString("$tet_lm_performance_single_lod"), {path}), container, true);
    if (levels == 0)
        return;
    instance->SelectLODLevel(levels - 1);
    if (instance->GetPolygonCount() < kLowPolyLimit)
        Report(MessageText(Nyx::PString("$tet_lm_performance_low_poly"), {path}), container, true);
}

}  // namespace TETLib
