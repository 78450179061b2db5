// The scene instance of an indexed mesh whose vertices follow a skeleton:
// before it is drawn it brings its chunks up to date with the bones, and a
// clone gets influence state of its own, bound to its own skeleton, with
// its own copies of the display-skinned chunks and their bone palettes.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/skinning/KestroInfluenceMesh.h"

class KestroDynamicIndexedMeshInstance : public KestroIndexedMeshInstance, public KestroInfluenceMesh {
public:
    static constexpr uint32_t kID = 18;

    explicit KestroDynamicIndexedMeshInstance(Nyx::MaterialManager* manager);
    ~KestroDynamicIndexedMeshInstance() override;

    // Binds to the resource and the definition, gives the skinned chunks
    // copies of their own, loads the bones and attaches them to the
    // instance's skeleton.
    void SetUp(MeshInstanceResource* resource, const KestroIndexedMeshDefinition& definition);

    // ---- particle operations ----
    void Render(Nyx::Display& display, Nyx::ViewPoint& view) override;
    void DrawGeometry(Nyx::Display& display, Nyx::ViewPoint& view, const Nyx::Transform& transform,
                      bool light) override;
    Nyx::ViewPortParticle* CreateInstance() const override;
    uint32_t GetID() const override { return kID; }
    // Chunk i replaced by its own clone, which keeps the bone matrices the
    // replaced one had.
    void MakeChunkPrivate(uint32_t i) override;

    // ---- chunks from other instances ----
    // Adds a copy of chunk `sourceChunk` of another skinned instance (whose
    // influence part is `source`); false, and nothing changed, when the
    // chunk's skinning disagrees with this instance's or its bones are not
    // all here.
    virtual bool AddSkinnedChunk(const Nyx::GeometryChunk* chunk, const KestroInfluenceMesh* source,
                                 uint32_t sourceChunk);
    // Appends that chunk's geometry to chunk `index`.
    virtual bool MergeSkinnedChunk(uint32_t index, const Nyx::GeometryChunk* chunk,
                                   const KestroInfluenceMesh* source, uint32_t sourceChunk);

    // Puts the bones named by the list (numbers of `source`'s bones) into
    // the chunk's palette (emptied first when `afresh`) and replaces each
    // number by its palette slot. False at the first bone this instance
    // lacks, the ones before it staying added.
    bool BuildBonePalette(Nyx::GeometryChunk& chunk, std::vector<uint32_t>& list, bool afresh,
                          const KestroInfluenceMesh& source) const;
    // Rewrites each vertex's four bone-index bytes (three times a palette
    // slot) from `firstVertex` on through the remap list, byte by byte up
    // to the first out of range. False when there is no such vertex.
    static bool RemapBoneIndices(Nyx::GeometryChunk& chunk, uint32_t firstVertex,
                                 const std::vector<uint32_t>& remap);

    const KestroIndexedMeshDefinition* GetDefinition() const noexcept { return definition_; }

private:
    enum class Skinning { kNone, kDisplay, kSoftware };
    static Skinning KindOf(const Nyx::GeometryChunk& chunk) noexcept;
    // The chunk array as the influence part reads it.
    Nyx::GeometryChunk* const* ChunkData() const noexcept;
    void UpdateSkinning(uint32_t stamp);

    const KestroIndexedMeshDefinition* definition_ = nullptr;
};
