// Skinning set-up of the indexed mesh definition: the hardware-animation
// decision, the chunks' creation hints and first skinning streams, the
// skeleton built from influence definitions and the bone palettes.
#include <algorithm>
#include <memory>
#include <vector>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

namespace {

// A palette byte marking the next slot of a vertex to fill.
constexpr uint8_t kFreeSlot = 0xFE;

}  // namespace

void KestroIndexedMeshDefinition::QueryAnimationCapability(Nyx::RenderKernel* kernel)
{
    animationCapability_ = kernel && kernel->QueryCapability(Nyx::RenderKernel::kCapabilityHardwareSkinning);
    if (animationCapability_)
        paletteLimit_ = 24;
}

void KestroIndexedMeshDefinition::DecideHardwareAnimation()
{
    if (maxInfluences_ > 0 && maxInfluences_ <= influenceLimit_ && maxChunkBones_ <= paletteLimit_ &&
        animationCapability_ && !settings_.IsOn(GeometrySettings::kSoftwareAnimation))
        hardwareAnimation_ = true;
}

Nyx::StandardChunkHint KestroIndexedMeshDefinition::BuildChunkHint(uint32_t texCoordSets,
                                                                   const Nyx::Material* material, float hintValue,
                                                                   uint32_t influences) const
{
    Nyx::StandardChunkHint hint(2, 0);
    if (settings_.IsOn(GeometrySettings::kSoftwareLighting))
        hint.flags |= Nyx::StandardChunkHint::kSoftwareLighting;
    hint.vertexBufferMode = settings_.present[GeometrySettings::kDynamicVertex]
                                ? settings_.value[GeometrySettings::kDynamicVertex]
                                : Nyx::StandardChunkHint::kBufferAuto;
    hint.indexBufferMode = settings_.present[GeometrySettings::kDynamicIndex]
                               ? settings_.value[GeometrySettings::kDynamicIndex]
                               : Nyx::StandardChunkHint::kBufferAuto;
    hint.texCoordSets = texCoordSets;
    hint.materialValue = material ? material->GetChunkHintValue() : 0;
    hint.hintValue = hintValue;
    hint.influences = influences;
    if (influences > 0) {
        hint.flags |= Nyx::StandardChunkHint::kSkinned;
        if (hardwareAnimation_) {
            hint.skinWeights = 4;
            hint.skinPalette = paletteLimit_;
            if (settings_.IsOn(GeometrySettings::kHardwareAnimationFloatPrecision))
                hint.flags |= Nyx::StandardChunkHint::kFloatWeights;
        } else {
            hint.flags |= Nyx::StandardChunkHint::kSoftwareSkinning;
        }
    }
    return hint;
}

MeshLoadResult KestroIndexedMeshDefinition::InitialiseSkinningStreams(Nyx::GeometryChunk& chunk,
                                                                      uint32_t influences) const
{
    const uint32_t vertices = chunk.GetVertexCount();
    const auto boneIndices = chunk.GetUDwordArray(Nyx::kItemBoneIndices);
    if (settings_.IsOn(GeometrySettings::kHardwareAnimationFloatPrecision)) {
        // The count comes from the file: only one to four weights have a
        // stream, and a larger count must not wrap the item onto another.
        if (influences < 1 || influences > 4)
            return RES_FAIL_CHUNK_CREATE;
        const uint32_t item = Nyx::kItemWeights1 + influences - 1;
        const auto weights = chunk.GetFloatArray(item);
        if (!weights || !boneIndices)
            return RES_FAIL_CHUNK_CREATE;
        for (uint32_t v = 0; v < vertices; ++v) {
            float* w = &weights[v];
            for (uint32_t k = 0; k < influences; ++k)
                w[k] = k == 0 ? 1.0f : 0.0f;
            boneIndices[v] = 0;
        }
        return RES_OK;
    }
    const auto packed = chunk.GetUDwordArray(Nyx::kItemPackedWeights);
    if (!packed || !boneIndices)
        return RES_FAIL_CHUNK_CREATE;
    for (uint32_t v = 0; v < vertices; ++v) {
        packed[v] = 0xFF000000u;
        boneIndices[v] = 0;
    }
    return RES_OK;
}

void KestroIndexedMeshDefinition::BuildSkeletonFromInfluences()
{
    if (influences_.empty())
        return;
    // 1. One bone per definition.
    std::vector<std::unique_ptr<Nyx::ParticleBone>> bones;
    bones.reserve(influences_.size());
    for (const Nyx::InfluenceDefinition& definition : influences_) {
        auto bone = std::make_unique<Nyx::ParticleBone>();
        bone->SetName(definition.boneName);
        bone->SetFramePosition(definition.position);
        Nyx::Quaternion orientation;
        orientation.Set(definition.orientation);
        bone->SetFrameOrientation(orientation);
        bone->SetBoundingVolume(std::make_unique<Nyx::ParticleVisibleBoundingBox>(
            Nyx::AxisAlignedBox({-0.01f, -0.01f, -0.01f}, {0.01f, 0.01f, 0.01f})));
        bones.push_back(std::move(bone));
    }
    // 2, 3. The first parentless definition is the root; without one the
    // new bones go and nothing changes.
    size_t root = influences_.size();
    for (size_t n = 0; n < influences_.size(); ++n) {
        if (!influences_[n].parentName.Empty())
            continue;
        if (root == influences_.size())
            root = n;
        else
            influences_[n].parentName = influences_[root].boneName;
    }
    if (root == influences_.size())
        return;
    // 4. Each bone below its parent by name, or below the root when the
    // name matches no bone or would close a loop.
    Nyx::ParticleBone* rootBone = bones[root].get();
    for (size_t n = 0; n < influences_.size(); ++n) {
        if (n == root)
            continue;
        Nyx::InfluenceDefinition& definition = influences_[n];
        size_t parent = influences_.size();
        for (size_t k = 0; k < influences_.size(); ++k) {
            if (influences_[k].boneName == definition.parentName) {
                parent = k;
                break;
            }
        }
        if (parent == influences_.size())
            definition.parentName = influences_[root].boneName;
        if (parent == influences_.size() || !bones[parent]->Add(bones[n].get()))
            rootBone->Add(bones[n].get());
    }
    // 5. The new skeleton replaces the old.
    delete rootBone_;
    rootBone_ = bones[root].release();
    for (auto& bone : bones)
        bone.release();  // every other bone now hangs below the root
}

void KestroIndexedMeshDefinition::SetUpBonePalettes()
{
    for (uint32_t n = 0; n < influenceCount_ && n < influences_.size(); ++n) {
        const uint32_t source = InfluenceForBone(n);
        if (source >= influences_.size())
            continue;
        for (const Nyx::InfluenceGroup& group : influences_[source].groups) {
            // 1. The group must fit an existing chunk that takes a palette.
            Nyx::GeometryChunk* chunk = GetChunk(group.chunkIndex);
            if (group.entries.empty() || !chunk || (chunk->GetFlags() & Nyx::GeometryChunk::kFlagSoftwareSkinned) ||
                group.entries.size() > chunk->GetVertexCount())
                continue;
            // 2. Its streams.
            Nyx::ItemArray<float> floats[4];
            for (uint32_t k = 0; k < 4; ++k)
                floats[k] = chunk->GetFloatArray(Nyx::kItemWeights1 + k);
            const auto packed = chunk->GetUDwordArray(Nyx::kItemPackedWeights);
            const auto indices = chunk->GetUDwordArray(Nyx::kItemBoneIndices);
            if (!indices || !(packed || floats[0] || floats[1] || floats[2] || floats[3]))
                continue;
            // 3. The bone's palette slot.
            const uint32_t slot = chunk->AddInfluenceMatrix(n);
            if (slot == Nyx::GeometryChunk::kNoSlot)
                continue;
            const auto value = static_cast<uint8_t>(slot * 3);
            // 4-7. Each entry into its vertex's next free slot.
            for (const Nyx::InfluenceEntry& entry : group.entries) {
                if (entry.vertex >= chunk->GetVertexCount())
                    continue;
                auto* bytes = reinterpret_cast<uint8_t*>(&indices[entry.vertex]);
                const float w = entry.values[0];
                if (!packed && floats[0]) {
                    floats[0][entry.vertex] = w;
                    indices[entry.vertex] = value;
                    continue;
                }
                uint32_t lastSlot = 3;
                float* fw = nullptr;
                if (!packed) {
                    for (uint32_t k = 1; k < 4 && !fw; ++k) {
                        if (floats[k]) {
                            fw = &floats[k][entry.vertex];
                            lastSlot = k;
                        }
                    }
                }
                uint32_t s = 0;
                for (uint32_t b = 1; b < 4; ++b) {
                    if (bytes[b] == kFreeSlot) {
                        s = b;
                        break;
                    }
                }
                if (s > lastSlot)
                    s = 0;
                if (packed) {
                    const float scaled = w * 255.0f;
                    const auto stored = static_cast<uint8_t>(scaled >= 255.0f ? 255 : scaled > 0.0f ? scaled : 0);
                    auto* weightBytes = reinterpret_cast<uint8_t*>(&packed[entry.vertex]);
                    if (s == 0)
                        weightBytes[1] = weightBytes[2] = weightBytes[3] = 0;
                    weightBytes[s] = stored;
                } else {
                    if (s == 0)
                        for (uint32_t k = 1; k <= lastSlot; ++k)
                            fw[k] = 0.0f;
                    fw[s] = w;
                }
                if (s == 0) {
                    bytes[0] = value;
                    bytes[1] = kFreeSlot;
                    bytes[2] = 0;
                    bytes[3] = 0;
                } else {
                    bytes[s] = value;
                    if (s < 3)
                        bytes[s + 1] = kFreeSlot;
                }
            }
        }
    }
}
