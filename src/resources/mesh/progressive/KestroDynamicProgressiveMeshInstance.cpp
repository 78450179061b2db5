#include "resources/mesh/progressive/KestroDynamicProgressiveMeshInstance.h"

#include <algorithm>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"

KestroDynamicProgressiveMeshInstance::KestroDynamicProgressiveMeshInstance(Nyx::MaterialManager* manager)
    : KestroProgressiveMeshInstance(manager)
{
}

KestroDynamicProgressiveMeshInstance::~KestroDynamicProgressiveMeshInstance() = default;

void KestroDynamicProgressiveMeshInstance::SetUp(MeshInstanceResource* resource,
                                                 const KestroProgressiveMeshDefinition& definition)
{
    Bind(resource, definition);
    const auto& influences = definition.GetInfluences();
    const auto bones = static_cast<uint32_t>(std::min<size_t>(definition.GetInfluenceCount(), influences.size()));
    // The chunks skinned are the instance's own copies, the ones it draws.
    LoadFromDefinitions(bones, influences.data(), definition.UsesHardwareAnimation(), GetChunkCount(),
                        GetChunkArray() ? GetChunkArray()->GetEntries().data() : nullptr);
    Attach(GetSkeleton() ? static_cast<Nyx::Particle*>(GetSkeleton()) : this);
}

void KestroDynamicProgressiveMeshInstance::RegisterWithChunks()
{
    for (uint32_t i = 0; i < GetChunkCount(); ++i) {
        Nyx::GeometryChunk* chunk = GetChunk(i);
        if (chunk && !(chunk->GetFlags() & kChunkFlagSoftwareSkinned) && !chunk->GetInfluenceMatrices().empty())
            RegisterBoneMatrices(*chunk);
    }
}

void KestroDynamicProgressiveMeshInstance::UpdateSkinning(uint32_t stamp)
{
    Update(GetChunkCount(), GetChunkArray() ? GetChunkArray()->GetEntries().data() : nullptr, stamp, 0);
}

void KestroDynamicProgressiveMeshInstance::Render(Nyx::Display& display, Nyx::ViewPoint& view)
{
    UpdateSkinning(view.GetFrameNumber());
    KestroProgressiveMeshInstance::Render(display, view);
}

void KestroDynamicProgressiveMeshInstance::DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view,
                                                        const Nyx::Transform& transform, bool light)
{
    UpdateSkinning(view.GetFrameNumber());
    KestroProgressiveMeshInstance::DrawGeometry(display, view, transform, light);
}

Nyx::ViewPortParticle* KestroDynamicProgressiveMeshInstance::CreateInstance() const
{
    auto* copy = new KestroDynamicProgressiveMeshInstance(GetMaterialManager());
    CopyProgressiveInto(copy);
    copy->CopyInfluencesFrom(*this);
    copy->Attach(copy);
    // The chunk copies came with this instance's matrices.
    copy->RegisterWithChunks();
    return copy;
}
