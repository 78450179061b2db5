#include "resources/mesh/resource/KestroIndexedMeshResource.h"

#include <new>

#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/skinning/KestroDynamicIndexedMeshInstance.h"

uint32_t KestroIndexedMeshResource::Load(Nyx::File& /*file*/)
{
    ClearNameList();
    if (!manager_)
        return kLoadFailed;
    DropDefinition();
    auto* definition = new (std::nothrow) KestroIndexedMeshDefinition(SettingsFrom(Options()));
    if (!definition)
        return kLoadFailed;
    // The definition reads the file itself, through the database's mount,
    // so that it knows the file's name.
    MeshLoadResult result = RES_OK;
    if (definition->OpenFile(result, *this, GetFilePath()) == RES_OK)
        definition->Load(result, manager_->GetRenderKernel(), manager_, *this, 0);
    if (result != RES_OK) {
        delete definition;
        return kLoadFailed;
    }
    definition_ = definition;
    return kLoadOk;
}

void KestroIndexedMeshResource::LoadComplete()
{
    FinishDefinition();
    Resource::LoadComplete();
}

Nyx::ViewPortParticle* KestroIndexedMeshResource::CreateMeshInstance()
{
    if (!manager_ || !definition_ || unusable_)
        return nullptr;
    if (definition_->GetMaxInfluences() > 0 && definition_->GetInfluenceCount() > 0) {
        if (definition_->GetInfluences().empty())
            return nullptr;
        auto* instance = new KestroDynamicIndexedMeshInstance(manager_);
        instance->SetUp(this, *definition_);
        return instance;
    }
    auto* instance = new KestroIndexedMeshInstance(manager_);
    instance->Bind(this, *definition_);
    return instance;
}
