#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"

KestroProgressiveMeshInstance::KestroProgressiveMeshInstance(Nyx::MaterialManager* manager)
    : KestroIndexedMeshInstance(manager), Nyx::ScalableDetail(manager)
{
}

KestroProgressiveMeshInstance::~KestroProgressiveMeshInstance() = default;

void KestroProgressiveMeshInstance::Bind(MeshInstanceResource* resource,
                                         const KestroProgressiveMeshDefinition& definition)
{
    definition_ = &definition;
    KestroIndexedMeshInstance::Bind(resource, definition);
}

void KestroProgressiveMeshInstance::InitFromDefinition(const KestroIndexedMeshDefinition& definition)
{
    if (!definition_ || definition_ != &definition)
        definition_ = dynamic_cast<const KestroProgressiveMeshDefinition*>(&definition);
    KestroIndexedMeshInstance::InitFromDefinition(definition);
    GiveOwnChunks();
    const uint32_t sets = definition_ ? definition_->GetSetCount() : 0;
    SetCurrentStep(sets > 0 ? sets - 1 : 0);
    Init(definition.GetTotalFaces());
}

void KestroProgressiveMeshInstance::GiveOwnChunks()
{
    MakeChunkArrayPrivate();
    // Index arrays are edited in place: without a display to copy them
    // with, a scratch one serves, so that the definition's stay untouched.
    Nyx::Display scratch;
    Nyx::Display* display = GetMaterialManager() ? GetMaterialManager()->GetRenderContext() : nullptr;
    if (!display)
        display = &scratch;
    for (uint32_t i = 0; i < GetChunkCount(); ++i) {
        MakeChunkPrivate(i);
        if (Nyx::GeometryChunk* chunk = GetChunk(i))
            chunk->DuplicateIndexArray(*display);
    }
}

Nyx::ViewPortParticle* KestroProgressiveMeshInstance::CreateInstance() const
{
    auto* copy = new KestroProgressiveMeshInstance(GetMaterialManager());
    CopyProgressiveInto(copy);
    return copy;
}

void KestroProgressiveMeshInstance::CopyProgressiveInto(KestroProgressiveMeshInstance* copy) const
{
    CopyInto(copy);
    copy->Nyx::ScalableDetail::InitInstance(*this);
    copy->definition_ = definition_;
    copy->GiveOwnChunks();
}

bool KestroProgressiveMeshInstance::LastSet(uint32_t& last) const noexcept
{
    const uint32_t sets = definition_ ? definition_->GetSetCount() : 0;
    if (sets == 0)
        return false;
    last = sets - 1;
    return true;
}

void KestroProgressiveMeshInstance::ApplySet(const ProgressiveSet& set, bool redo)
{
    // The runs, the positions and the chunk numbers were checked against
    // the tables and the chunks when the definition was loaded.
    const ProgressiveGroup* groups = definition_->GetGroups().data();
    const ProgressiveRecord* records = definition_->GetRecords().data();
    const uint32_t* values = definition_->GetValues().data();
    uint32_t faces = GetCurrentFaceCount();
    for (const ProgressiveGroup* group = groups + set.firstGroup; group != groups + set.firstGroup + set.groupsUsed;
         ++group) {
        Nyx::GeometryChunk* chunk = GetChunk(group->chunkIndex);
        if (!chunk)
            continue;
        uint16_t* indices = chunk->GetIndexArray();
        uint32_t vertexCount = chunk->GetVertexCount();
        uint32_t indexCount = chunk->GetIndexCount();
        uint32_t primitiveCount = chunk->GetPrimitiveCount();
        const ProgressiveRecord* end = records + group->firstRecord + group->recordsUsed;
        for (const ProgressiveRecord* record = records + group->firstRecord; record != end; ++record) {
            // Undoing adds the 16-bit negation: the same wrap-around as
            // subtracting.
            const uint32_t sign = redo ? 1u : 0xFFFFFFFFu;
            const auto delta = static_cast<uint16_t>(sign * record->indexDelta);
            vertexCount += sign * record->vertexDelta;
            indexCount += sign * 3 * record->faceDelta;
            primitiveCount += sign * record->faceDelta;
            faces += sign * record->faceDelta;
            if (!indices)
                continue;
            for (const uint32_t* value = values + record->firstValue;
                 value != values + record->firstValue + record->valuesUsed; ++value)
                indices[*value] = static_cast<uint16_t>(indices[*value] + delta);
        }
        chunk->SetVertexCount(vertexCount);
        chunk->SetIndexCount(indexCount);
        chunk->SetPrimitiveCount(primitiveCount);
    }
    SetCurrentFaceCount(faces);
}

void KestroProgressiveMeshInstance::LowerDetail(uint32_t faceCount)
{
    uint32_t last = 0;
    if (!LastSet(last) || GetCurrentFaceCount() <= faceCount)
        return;
    const auto& sets = definition_->GetSets();
    do {
        const uint32_t step = GetCurrentStep();
        if (step == 0 || step > last)
            return;
        const ProgressiveSet& set = sets[step];
        const uint64_t sum = definition_->GetSetFaceCount(step);
        // The set stays when undoing it would go below the target (or below
        // no faces at all).
        const uint32_t current = GetCurrentFaceCount();
        if (sum > current || current - sum < faceCount)
            return;
        ApplySet(set, false);
        SetCurrentStep(step - 1);
    } while (GetCurrentFaceCount() > faceCount);
}

void KestroProgressiveMeshInstance::RaiseDetail(uint32_t faceCount)
{
    uint32_t last = 0;
    if (!LastSet(last))
        return;
    const auto& sets = definition_->GetSets();
    while (GetCurrentFaceCount() < faceCount && GetCurrentStep() < last) {
        const uint32_t step = GetCurrentStep() + 1;
        ApplySet(sets[step], true);
        SetCurrentStep(step);
    }
}
