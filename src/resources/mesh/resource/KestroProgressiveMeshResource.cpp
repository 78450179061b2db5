#include "resources/mesh/resource/KestroProgressiveMeshResource.h"

#include <new>

#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/progressive/KestroDynamicProgressiveMeshInstance.h"
#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"
#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"

GeometryOptions KestroProgressiveMeshResource::ProgressiveOptions(const GeometryOptions& options) noexcept
{
    GeometryOptions copy = options;
    // Detail changes rewrite the vertices and indices: dynamic buffers,
    // unless the options decided already.
    if (copy.flags[3] == 0) {
        copy.flags[2] = 1;
        copy.flags[3] = 1;
    }
    return copy;
}

uint32_t KestroProgressiveMeshResource::Load(Nyx::File& /*file*/)
{
    ClearNameList();
    if (!manager_)
        return kLoadFailed;
    DropDefinition();
    auto* definition =
        new (std::nothrow) KestroProgressiveMeshDefinition(SettingsFrom(ProgressiveOptions(Options())));
    if (!definition)
        return kLoadFailed;
    MeshLoadResult result = RES_OK;
    definition->Load(result, manager_->GetRenderKernel(), manager_, *this, GetFilePath());
    if (result != RES_OK) {
        delete definition;
        return kLoadFailed;
    }
    definition_ = definition;
    return kLoadOk;
}

void KestroProgressiveMeshResource::LoadComplete()
{
    FinishDefinition();
    Resource::LoadComplete();
}

Nyx::ViewPortParticle* KestroProgressiveMeshResource::CreateMeshInstance()
{
    const auto* definition = static_cast<const KestroProgressiveMeshDefinition*>(definition_);
    if (!manager_ || !definition || unusable_)
        return nullptr;
    if (definition->GetMaxInfluences() > 0 && definition->GetInfluenceCount() > 0) {
        if (definition->GetInfluences().empty())
            return nullptr;
        auto* instance = new KestroDynamicProgressiveMeshInstance(manager_);
        instance->SetUp(this, *definition);
        return instance;
    }
    auto* instance = new KestroProgressiveMeshInstance(manager_);
    instance->Bind(this, *definition);
    return instance;
}
