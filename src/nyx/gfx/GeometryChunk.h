// Engine geometry chunks: a block of vertices and indices drawn with one
// material, made from a hint that says how its vertices are laid out.
#pragma once

#include <cstdint>

#include "nyx/ReferenceCount.h"

namespace Nyx {

class Material;

struct ChunkHint {
    // The chunk's buffers may be rebuilt by the engine when the display is
    // reset.
    static constexpr uint32_t kFlagRebuildable = 1u << 2;

    uint32_t flags = 0;
    uint32_t vertexType = 0;
    uint32_t vertexSize = 0;
    uint32_t streamCount = 0;
};

class GeometryChunk : public ReferenceCount {
public:
    // A chunk drawn with the material (one reference taken on it), with one
    // reference for the caller; null without a material or with a hint
    // whose vertices have no size.
    static GeometryChunk* Create(Material* material, const ChunkHint& hint, uint32_t vertexCount,
                                 uint32_t primitiveCount, uint32_t indexCount);
    ~GeometryChunk() override;

    Material* GetMaterial() const noexcept { return material_; }
    const ChunkHint& GetHint() const noexcept { return hint_; }
    uint32_t GetVertexCount() const noexcept { return vertexCount_; }
    uint32_t GetPrimitiveCount() const noexcept { return primitiveCount_; }
    uint32_t GetIndexCount() const noexcept { return indexCount_; }

private:
    GeometryChunk(Material* material, const ChunkHint& hint, uint32_t vertexCount, uint32_t primitiveCount,
                  uint32_t indexCount);

    Material* material_;
    ChunkHint hint_;
    uint32_t vertexCount_;
    uint32_t primitiveCount_;
    uint32_t indexCount_;
};

}  // namespace Nyx
