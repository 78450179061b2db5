#include "resources/mesh/progressive/KestroProgressiveMeshInstance.h"

#include "nyx/gfx/Display.h"
#include "nyx/gfx/GeometryChunk.h"
#include "nyx/gfx/MaterialManager.h"
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
    const auto& groups = definition_->GetGroups();
    const auto& records = definition_->GetRecords();
    const auto& values = definition_->GetValues();
    uint32_t faces = GetCurrentFaceCount();
    for (uint32_t g = set.firstGroup; g < set.firstGroup + set.groupsUsed && g < groups.size(); ++g) {
        const ProgressiveGroup& group = groups[g];
        Nyx::GeometryChunk* chunk = GetChunk(group.chunkIndex);
        if (!chunk)
            continue;
        uint16_t* indices = chunk->GetIndexArray();
        const uint32_t indexRoom = indices ? chunk->GetMaxIndices() : 0;
        uint32_t vertexCount = chunk->GetVertexCount();
        uint32_t indexCount = chunk->GetIndexCount();
        uint32_t primitiveCount = chunk->GetPrimitiveCount();
        for (uint32_t r = group.firstRecord; r < group.firstRecord + group.recordsUsed && r < records.size(); ++r) {
            const ProgressiveRecord& record = records[r];
            const auto delta = static_cast<uint16_t>(record.indexDelta);
            const uint32_t end = record.firstValue + record.valuesUsed;
            if (redo) {
                vertexCount += record.vertexDelta;
                indexCount += 3 * record.faceDelta;
                primitiveCount += record.faceDelta;
                for (uint32_t v = record.firstValue; v < end && v < values.size(); ++v)
                    if (values[v] < indexRoom)
                        indices[values[v]] = static_cast<uint16_t>(indices[values[v]] + delta);
                faces += record.faceDelta;
            } else {
                vertexCount -= record.vertexDelta;
                indexCount -= 3 * record.faceDelta;
                primitiveCount -= record.faceDelta;
                for (uint32_t v = record.firstValue; v < end && v < values.size(); ++v)
                    if (values[v] < indexRoom)
                        indices[values[v]] = static_cast<uint16_t>(indices[values[v]] - delta);
                faces -= record.faceDelta;
            }
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
    const auto& groups = definition_->GetGroups();
    const auto& records = definition_->GetRecords();
    do {
        const uint32_t step = GetCurrentStep();
        if (step == 0 || step > last)
            return;
        const ProgressiveSet& set = sets[step];
        uint64_t sum = 0;
        for (uint32_t g = set.firstGroup; g < set.firstGroup + set.groupsUsed; ++g)
            for (uint32_t r = groups[g].firstRecord; r < groups[g].firstRecord + groups[g].recordsUsed; ++r)
                sum += records[r].faceDelta;
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
