#include "resources/mesh/progressive/KestroProgressiveMeshDefinition.h"

#include "nyx/files/File.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/MeshFileReading.h"
#include "resources/mesh/MeshOwner.h"

using namespace MeshFileReading;

namespace {

constexpr uint64_t kRecordBytes = 16;
constexpr uint64_t kGroupBytes = 8;

MeshLoadResult& Fail(MeshLoadResult& result, MeshLoadResult code)
{
    result = code;
    return result;
}

}  // namespace

KestroProgressiveMeshDefinition::KestroProgressiveMeshDefinition(const GeometrySettings& settings)
    : KestroIndexedMeshDefinition(settings)
{
}

KestroProgressiveMeshDefinition::~KestroProgressiveMeshDefinition() { ClearProgressiveTables(); }

void KestroProgressiveMeshDefinition::ClearProgressiveTables() noexcept
{
    values_.clear();
    groups_.clear();
    records_.clear();
    sets_.clear();
    setFaces_.clear();
    valueCount_ = recordCount_ = groupCount_ = setCount_ = 0;
}

MeshLoadResult& KestroProgressiveMeshDefinition::Load(MeshLoadResult& result, Nyx::RenderKernel* /*kernel*/,
                                                      Nyx::MaterialManager* manager, MeshOwner& owner,
                                                      const Nyx::String& path)
{
    result = RES_OK;
    if (!manager)
        return Fail(result, RES_NO_MATERIAL_MANAGER);
    if (OpenFile(result, owner, path) != RES_OK)
        return result;
    manager_ = manager;
    owner_ = &owner;
    return LoadOpenFile(result);
}

MeshLoadResult& KestroProgressiveMeshDefinition::Load(MeshLoadResult& result, Nyx::RenderKernel* /*kernel*/,
                                                      Nyx::MaterialManager* manager, MeshOwner& owner,
                                                      uint32_t /*ownerValue*/, uint32_t defaultColour)
{
    result = RES_OK;
    if (!manager)
        return Fail(result, RES_NO_MATERIAL_MANAGER);
    if (file_.Empty())
        return Fail(result, RES_FILE_OPEN_ERROR);
    manager_ = manager;
    owner_ = &owner;
    defaultColour_ = defaultColour;
    return LoadOpenFile(result);
}

MeshLoadResult& KestroProgressiveMeshDefinition::LoadOpenFile(MeshLoadResult& result)
{
    // Progressive meshes are skinned in software or by palettes, never by
    // the display's own animation: the capability is not asked for.
    animationCapability_ = false;
    hardwareAnimation_ = false;
    ClearProgressiveTables();
    Nyx::MemoryFile& file = file_;
    file.Seek(0);

    uint64_t end = 0;
    if (!ReadFrame(file, "IDXM", end))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    if (ReadInfo(result, file) != RES_OK)
        return result;

    if (ReadChunks(result, file) != RES_OK)
        return result;

    // Each optional chunk is offered once, in file order; what goes wrong
    // in one shows as the cursor short of the frame's end.
    if (file.Tell() < end) {
        MeshLoadResult ignored = RES_OK;
        ReadInfluencesOrSkeleton(ignored, file);
    }
    if (file.Tell() < end) {
        MeshLoadResult ignored = RES_OK;
        ReadAttachments(ignored, file);
    }
    if (file.Tell() < end) {
        MeshLoadResult ignored = RES_OK;
        ReadProgressiveInfo(ignored, file);
    }

    ComputeTotals();
    fullFaceCount_ = totalFaces_;
    if (file.Tell() != end)
        return Fail(result, RES_FILE_FORMAT_ERROR);

    BuildSkeletonFromInfluences();
    SetUpBonePalettes();
    const Nyx::String fullName = name_.Empty() && owner_ ? Nyx::String(owner_->GetName().View())
                                                          : Nyx::String(name_.View());
    name_ = Nyx::PString(Nyx::File::Path(fullName).FileName());
    ComputeBoundsAndOrientedBox();
    file_.Close();
    return result;
}

MeshLoadResult& KestroProgressiveMeshDefinition::ReadProgressiveInfo(MeshLoadResult& result, Nyx::MemoryFile& file)
{
    ClearProgressiveTables();
    const uint32_t start = file.Tell();
    char tag[4];
    ReadTag(file, tag);
    if (!IsTag(tag, "PMIN"))
        return Fail(result, RES_FILE_FORMAT_ERROR);
    uint32_t size = 0;
    uint32_t version = 0;
    file.Read(size);
    file.Read(version);
    if (version != kProgressiveVersion)
        return Fail(result, RES_FILE_VERSION_ERROR);
    uint32_t counts[4] = {};
    for (uint32_t& count : counts)
        if (!file.Read(count))
            return Fail(result, RES_FILE_FORMAT_ERROR);
    // Nothing is made for a table whose entries cannot all follow.
    ByteBudget budget(file.Remaining());
    budget.Take(counts[0], 4);
    budget.Take(counts[1], kRecordBytes);
    budget.Take(counts[2], kGroupBytes);
    budget.Take(counts[3], 4);
    if (!budget.Ok())
        return Fail(result, RES_FILE_FORMAT_ERROR);

    values_.resize(counts[0]);
    for (uint32_t& value : values_)
        file.Read(value);
    records_.resize(counts[1]);
    for (ProgressiveRecord& record : records_) {
        file.Read(record.vertexDelta);
        file.Read(record.faceDelta);
        file.Read(record.indexDelta);
        file.Read(record.valuesUsed);
    }
    groups_.resize(counts[2]);
    for (ProgressiveGroup& group : groups_) {
        file.Read(group.chunkIndex);
        file.Read(group.recordsUsed);
    }
    sets_.resize(counts[3]);
    for (ProgressiveSet& set : sets_)
        file.Read(set.groupsUsed);
    valueCount_ = counts[0];
    recordCount_ = counts[1];
    groupCount_ = counts[2];
    setCount_ = counts[3];

    // Each run starts where the one before it ended; the sums are kept
    // wide so that the test against the table sizes cannot wrap.
    uint64_t group = 0;
    for (ProgressiveSet& set : sets_) {
        set.firstGroup = static_cast<uint32_t>(group < groupCount_ ? group : groupCount_);
        group += set.groupsUsed;
    }
    uint64_t record = 0;
    for (ProgressiveGroup& entry : groups_) {
        entry.firstRecord = static_cast<uint32_t>(record < recordCount_ ? record : recordCount_);
        record += entry.recordsUsed;
    }
    uint64_t value = 0;
    for (ProgressiveRecord& entry : records_) {
        entry.firstValue = static_cast<uint32_t>(value < valueCount_ ? value : valueCount_);
        value += entry.valuesUsed;
    }
    if (group > groupCount_ || record > recordCount_ || value > valueCount_ || !ProgressiveTablesFit()) {
        // Back to the tag, so that the load stops short of the frame's end.
        ClearProgressiveTables();
        file.Seek(start);
        return Fail(result, RES_FILE_FORMAT_ERROR);
    }
    return result;
}

bool KestroProgressiveMeshDefinition::ProgressiveTablesFit()
{
    struct Undone {
        uint64_t vertices = 0;
        uint64_t indices = 0;
        uint64_t primitives = 0;
    };
    std::vector<Undone> undone(chunks_.size());
    setFaces_.assign(setCount_, 0);
    for (uint32_t s = 0; s < setCount_; ++s) {
        const ProgressiveSet& set = sets_[s];
        for (uint32_t g = set.firstGroup; g < set.firstGroup + set.groupsUsed; ++g) {
            const ProgressiveGroup& group = groups_[g];
            const Nyx::GeometryChunk* chunk = GetChunk(group.chunkIndex);
            if (!chunk)
                return false;
            const uint32_t indexCount = chunk->GetIndexCount();
            for (uint32_t r = group.firstRecord; r < group.firstRecord + group.recordsUsed; ++r) {
                const ProgressiveRecord& entry = records_[r];
                for (uint32_t v = entry.firstValue; v < entry.firstValue + entry.valuesUsed; ++v)
                    if (values_[v] >= indexCount)
                        return false;
                // Set 0 is the base mesh and never undone.
                if (s == 0)
                    continue;
                setFaces_[s] += entry.faceDelta;
                Undone& sum = undone[group.chunkIndex];
                sum.vertices += entry.vertexDelta;
                sum.indices += 3 * uint64_t{entry.faceDelta};
                sum.primitives += entry.faceDelta;
            }
        }
    }
    // Undoing every set must leave each chunk's counts at zero or above.
    for (size_t c = 0; c < chunks_.size(); ++c) {
        const Nyx::GeometryChunk* chunk = chunks_[c];
        if (undone[c].vertices > chunk->GetVertexCount() || undone[c].indices > chunk->GetIndexCount() ||
            undone[c].primitives > chunk->GetPrimitiveCount())
            return false;
    }
    return true;
}
