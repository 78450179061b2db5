#include "resources/mesh/resource/KestroIndexedMeshLODResource.h"

#include <new>

#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/lod/KestroDynamicIndexedMeshLODInstance.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/lod/KestroIndexedMeshLODInstance.h"

KestroIndexedMeshLODDefinition* KestroIndexedMeshLODResource::GetLODDefinition() const noexcept
{
    return static_cast<KestroIndexedMeshLODDefinition*>(definition_);
}

KestroIndexedMeshLODDefinition* KestroIndexedMeshLODResource::MakeDefinition()
{
    DropDefinition();
    auto* definition = new (std::nothrow) KestroIndexedMeshLODDefinition(SettingsFrom(Options()));
    definition_ = definition;
    return definition;
}

uint32_t KestroIndexedMeshLODResource::Load(Nyx::File& /*file*/)
{
    ClearNameList();
    if (!manager_)
        return kLoadFailed;
    KestroIndexedMeshLODDefinition* definition = MakeDefinition();
    if (!definition)
        return kLoadFailed;
    if (definition->LoadResourceFile(manager_->GetRenderKernel(), *this, GetFilePath()) != RES_OK) {
        DropDefinition();
        return kLoadFailed;
    }
    return kLoadOk;
}

uint32_t KestroIndexedMeshLODResource::LoadTxt(const std::string& /*text*/)
{
    if (!manager_)
        return kLoadFailed;
    KestroIndexedMeshLODDefinition* definition = MakeDefinition();
    if (!definition)
        return kLoadFailed;
    // The text form names its meshes by path: it is read from its file. A
    // failed text load leaves an empty definition behind.
    return definition->LoadResourceText(manager_->GetRenderKernel(), *this, GetFilePath()) == RES_OK ? kLoadOk
                                                                                                    : kLoadFailed;
}

void KestroIndexedMeshLODResource::LoadComplete()
{
    if (KestroIndexedMeshLODDefinition* definition = GetLODDefinition())
        if (Nyx::Display* display = GetRenderContext())
            definition->FinishLod(*display);
    Resource::LoadComplete();
}

uint32_t KestroIndexedMeshLODResource::GetDataSize() const
{
    const KestroIndexedMeshLODDefinition* definition = GetLODDefinition();
    return definition ? definition->GetSizeEstimate() : 0;
}

std::vector<Nyx::Material*> KestroIndexedMeshLODResource::GetAllMaterials() const
{
    std::vector<Nyx::Material*> materials;
    if (const KestroIndexedMeshLODDefinition* definition = GetLODDefinition())
        for (const LodMesh& mesh : *definition->GetMeshes())
            for (Nyx::Material* material : mesh.materials->Items())
                if (material)
                    materials.push_back(material);
    return materials;
}

Nyx::ViewPortParticle* KestroIndexedMeshLODResource::CreateMeshInstance()
{
    const KestroIndexedMeshLODDefinition* definition = GetLODDefinition();
    if (!manager_ || !definition)
        return nullptr;
    if (definition->GetBoneCount() > 0 && !definition->GetBoneTable().empty()) {
        auto* instance = new KestroDynamicIndexedMeshLODInstance(manager_);
        instance->InitFromResource(this);
        return instance;
    }
    auto* instance = new KestroIndexedMeshLODInstance(manager_);
    instance->InitFromResource(this);
    return instance;
}
