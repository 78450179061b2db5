#include "resources/mesh/skinning/KestroDynamicIndexedMeshInstance.h"

#include <algorithm>
#include <cfloat>

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

namespace {

// Chunk copies are made with the manager's display, or a scratch one when
// the manager has none yet.
class DisplayFor {
public:
    explicit DisplayFor(Nyx::MaterialManager* manager)
        : display_(manager && manager->GetRenderContext() ? manager->GetRenderContext() : &scratch_)
    {
    }
    Nyx::Display& operator*() const noexcept { return *display_; }

private:
    Nyx::Display scratch_;
    Nyx::Display* display_;
};

// A chunk clone with vertex and index arrays of its own.
Nyx::GeometryChunk* OwnClone(const Nyx::GeometryChunk& chunk, Nyx::Display& display)
{
    Nyx::GeometryChunk* clone = chunk.CreateInstance();
    clone->DuplicateVertexArray(display);
    clone->DuplicateIndexArray(display);
    return clone;
}

}  // namespace

KestroDynamicIndexedMeshInstance::KestroDynamicIndexedMeshInstance(Nyx::MaterialManager* manager)
    : KestroIndexedMeshInstance(manager)
{
}

KestroDynamicIndexedMeshInstance::~KestroDynamicIndexedMeshInstance() = default;

KestroDynamicIndexedMeshInstance::Skinning KestroDynamicIndexedMeshInstance::KindOf(
    const Nyx::GeometryChunk& chunk) noexcept
{
    const bool software = (chunk.GetFlags() & kChunkFlagSoftwareSkinned) != 0;
    const bool palette = !chunk.GetInfluenceMatrices().empty();
    if (software && !palette)
        return Skinning::kSoftware;
    if (!software && palette)
        return Skinning::kDisplay;
    return Skinning::kNone;
}

Nyx::GeometryChunk* const* KestroDynamicIndexedMeshInstance::ChunkData() const noexcept
{
    return GetChunkArray() ? GetChunkArray()->GetEntries().data() : nullptr;
}

void KestroDynamicIndexedMeshInstance::SetUp(MeshInstanceResource* resource,
                                             const KestroIndexedMeshDefinition& definition)
{
    definition_ = &definition;
    Bind(resource, definition);
    // Skinning writes palettes and positions: the definition's chunks, and
    // other instances', stay as they are.
    DisplayFor display(GetMaterialManager());
    for (uint32_t i = 0; i < GetChunkCount(); ++i) {
        const Nyx::GeometryChunk* chunk = GetChunk(i);
        const Skinning kind = chunk ? KindOf(*chunk) : Skinning::kNone;
        if (kind == Skinning::kNone)
            continue;
        MakeChunkPrivate(i);
        if (kind == Skinning::kSoftware)
            GetChunk(i)->DuplicateVertexArray(*display);
    }
    const auto& influences = definition.GetInfluences();
    const auto bones = static_cast<uint32_t>(std::min<size_t>(definition.GetInfluenceCount(), influences.size()));
    LoadFromDefinitions(bones, influences.data(), definition.UsesHardwareAnimation(), GetChunkCount(), ChunkData());
    Attach(GetSkeleton());
}

void KestroDynamicIndexedMeshInstance::UpdateSkinning(uint32_t stamp)
{
    Update(GetChunkCount(), ChunkData(), stamp, 0);
}

void KestroDynamicIndexedMeshInstance::Render(Nyx::Display& display, Nyx::ViewPoint& view)
{
    UpdateSkinning(view.GetFrameNumber());
    KestroIndexedMeshInstance::Render(display, view);
}

void KestroDynamicIndexedMeshInstance::DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view,
                                                    const Nyx::Transform& transform, bool light)
{
    UpdateSkinning(view.GetFrameNumber());
    KestroIndexedMeshInstance::DrawGeometry(display, view, transform, light);
}

Nyx::ViewPortParticle* KestroDynamicIndexedMeshInstance::CreateInstance() const
{
    auto* copy = new KestroDynamicIndexedMeshInstance(GetMaterialManager());
    CopyInto(copy);
    copy->definition_ = definition_;
    copy->CopyInfluencesFrom(*this);
    const Bone* root = GetRootBone();
    copy->Attach(root ? Nyx::ViewPortParticle::FindByName(copy, root->name) : nullptr);
    DisplayFor display(GetMaterialManager());
    for (uint32_t i = 0; i < copy->GetChunkCount(); ++i) {
        const Nyx::GeometryChunk* chunk = copy->GetChunk(i);
        if (!chunk)
            continue;
        const bool software = (chunk->GetFlags() & kChunkFlagSoftwareSkinned) != 0;
        copy->MakeChunkPrivate(i);
        // Positions rebuilt in software are the clone's own as well.
        if (software)
            copy->GetChunk(i)->DuplicateVertexArray(*display);
        else
            copy->RegisterBoneMatrices(*copy->GetChunk(i));
    }
    return copy;
}

void KestroDynamicIndexedMeshInstance::MakeChunkPrivate(uint32_t i)
{
    const Nyx::GeometryChunk* shared = i < GetChunkCount() ? GetChunk(i) : nullptr;
    if (!shared)
        return;
    // The array itself may be another instance's too.
    if (GetChunkArray()->RefCount() > 1)
        MakeChunkArrayPrivate();
    const std::vector<const Nyx::Matrix4*> matrices = shared->GetInfluenceMatrixArray();
    Nyx::GeometryChunk* clone = shared->CreateInstance();
    GetChunkArray()->Replace(i, clone);
    for (uint32_t bone = 0; bone < matrices.size(); ++bone)
        if (matrices[bone])
            clone->AssignInfluenceMatrix(matrices[bone], bone);
}

bool KestroDynamicIndexedMeshInstance::BuildBonePalette(Nyx::GeometryChunk& chunk, std::vector<uint32_t>& list,
                                                        bool afresh, const KestroInfluenceMesh& source) const
{
    if (afresh)
        chunk.ResetMatrixArray();
    for (uint32_t& number : list) {
        if (number >= source.GetBoneCount())
            return false;
        const uint32_t bone = FindBone(source.GetBone(number).name);
        if (bone == kNoBone)
            return false;
        const uint32_t slot = chunk.AddInfluenceMatrix(bone);
        if (slot == Nyx::GeometryChunk::kNoSlot)
            return false;
        number = slot;
    }
    return true;
}

bool KestroDynamicIndexedMeshInstance::RemapBoneIndices(Nyx::GeometryChunk& chunk, uint32_t firstVertex,
                                                        const std::vector<uint32_t>& remap)
{
    const uint32_t vertices = chunk.GetVertexCount();
    const auto words = chunk.GetUDwordArray(Nyx::kItemBoneIndices);
    if (firstVertex >= vertices || !words)
        return false;
    for (uint32_t v = firstVertex; v < vertices; ++v) {
        uint32_t word = words[v];
        for (uint32_t k = 0; k < 4; ++k) {
            const uint32_t byte = word >> (8 * k) & 0xFFu;
            if (byte / 3 >= remap.size())
                break;
            const uint32_t value = 3 * remap[byte / 3] & 0xFFu;
            word = (word & ~(0xFFu << (8 * k))) | value << (8 * k);
        }
        words[v] = word;
    }
    return true;
}

bool KestroDynamicIndexedMeshInstance::AddSkinnedChunk(const Nyx::GeometryChunk* chunk,
                                                       const KestroInfluenceMesh* source, uint32_t sourceChunk)
{
    if (!chunk || !source || GetChunkCount() == 0)
        return false;
    const Nyx::GeometryChunk* first = GetChunk(0);
    const Skinning kind = KindOf(*chunk);
    if (kind == Skinning::kNone || !first || KindOf(*first) != kind)
        return false;
    const uint32_t index = GetChunkCount();

    // Every source bone that moves the chunk must be here, with lists.
    std::vector<std::pair<uint32_t, Nyx::InfluenceGroup>> adds;
    if (kind == Skinning::kSoftware) {
        for (uint32_t n = 0; n < source->GetBoneCount(); ++n) {
            const Bone& from = source->GetBone(n);
            if (from.lists.empty())
                continue;
            for (const Nyx::InfluenceGroup& group : from.lists[0].groups) {
                if (group.chunkIndex != sourceChunk)
                    continue;
                const uint32_t bone = FindBone(from.name);
                if (bone == kNoBone || GetBone(bone).lists.empty())
                    return false;
                adds.push_back({bone, {index, group.entries}});
            }
        }
    }

    DisplayFor display(GetMaterialManager());
    Nyx::GeometryChunk* clone = OwnClone(*chunk, *display);
    if (kind == Skinning::kDisplay) {
        const Nyx::VertexType* type = clone->GetVertexType();
        if ((type && type->GetItemStream(Nyx::kItemBoneIndices) < 0) || !clone->GetUDwordArray(Nyx::kItemBoneIndices)) {
            clone->Release();
            return false;
        }
        std::vector<uint32_t> remap = chunk->GetInfluenceMatrices();
        if (!BuildBonePalette(*clone, remap, true, *source)) {
            clone->Release();
            return false;
        }
        RemapBoneIndices(*clone, 0, remap);
        clone->SetVertexDataDirty(true);
    }
    for (auto& [bone, group] : adds)
        MutableBone(bone).lists[0].groups.push_back(std::move(group));
    AppendOwnChunk(clone, clone->GetMaterial());
    if (kind == Skinning::kDisplay)
        RegisterBoneMatrices(*clone);
    return true;
}

bool KestroDynamicIndexedMeshInstance::MergeSkinnedChunk(uint32_t index, const Nyx::GeometryChunk* chunk,
                                                         const KestroInfluenceMesh* source, uint32_t sourceChunk)
{
    if (!chunk || !source || index >= GetChunkCount())
        return false;
    const Nyx::GeometryChunk* target = GetChunk(index);
    if (!target || !(target->GetFlags() & kChunkFlagRebuildable) || !(chunk->GetFlags() & kChunkFlagRebuildable))
        return false;
    const Nyx::Material* targetMaterial = target->GetMaterial();
    const Nyx::Material* chunkMaterial = chunk->GetMaterial();
    if (!targetMaterial || !chunkMaterial || targetMaterial->GetPassCount() != 1 ||
        chunkMaterial->GetPassCount() != 1 || target->GetVertexTypeID() != chunk->GetVertexTypeID())
        return false;
    const Skinning kind = KindOf(*chunk);
    if (kind == Skinning::kNone || KindOf(*target) != kind)
        return false;

    DisplayFor display(GetMaterialManager());
    Nyx::GeometryChunk* clone = OwnClone(*target, *display);
    const uint32_t base = clone->GetVertexCount();
    if (!clone->AppendChunk(*display, *chunk)) {
        clone->Release();
        return false;
    }
    if (kind == Skinning::kDisplay) {
        std::vector<uint32_t> remap = chunk->GetInfluenceMatrices();
        const uint32_t room = (clone->GetLastMatrixConstant() - clone->GetFirstMatrixConstant()) / 3;
        if (!BuildBonePalette(*clone, remap, false, *source) || clone->GetInfluenceMatrices().size() > room) {
            clone->Release();
            return false;
        }
        RemapBoneIndices(*clone, base, remap);
    }
    clone->SetVertexDataDirty(true);

    if (kind == Skinning::kSoftware) {
        for (uint32_t n = 0; n < source->GetBoneCount(); ++n) {
            const Bone& from = source->GetBone(n);
            const uint32_t bone = from.lists.empty() ? kNoBone : FindBone(from.name);
            if (bone == kNoBone)
                continue;
            for (const Nyx::InfluenceGroup& group : from.lists[0].groups) {
                if (group.chunkIndex != sourceChunk)
                    continue;
                Bone& to = MutableBone(bone);
                if (to.lists.empty())
                    to.lists.emplace_back();
                auto& groups = to.lists[0].groups;
                auto at = std::find_if(groups.begin(), groups.end(),
                                       [index](const Nyx::InfluenceGroup& g) { return g.chunkIndex == index; });
                if (at == groups.end()) {
                    groups.push_back({index, {}});
                    at = groups.end() - 1;
                }
                for (Nyx::InfluenceEntry entry : group.entries) {
                    entry.vertex += base;
                    at->entries.push_back(entry);
                }
            }
        }
    }
    if (GetChunkArray()->RefCount() > 1)
        MakeChunkArrayPrivate();
    GetChunkArray()->Replace(index, clone);

    // The bounds take in what was appended.
    std::vector<Nyx::Vector3Item> points;
    for (uint32_t i = 0; i < GetChunkCount(); ++i) {
        Nyx::GeometryChunk* each = GetChunk(i);
        const auto positions = each ? each->GetVector3Array(Nyx::kItemPosition) : Nyx::ItemArray<Nyx::Vector3Item>{};
        for (uint32_t v = 0; positions && v < each->GetVertexCount(); ++v)
            points.push_back(positions[v]);
    }
    if (!points.empty()) {
        Nyx::Vector3f lo{FLT_MAX, FLT_MAX, FLT_MAX};
        Nyx::Vector3f hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
        for (const Nyx::Vector3Item& p : points) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        SetBounds(lo, hi,
                  Nyx::OrientedBox(points.data(), static_cast<uint32_t>(points.size()), sizeof(Nyx::Vector3Item)));
    }
    if (kind == Skinning::kDisplay)
        RegisterBoneMatrices(*clone);
    return true;
}
