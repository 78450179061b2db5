// The chunk the engine's own materials make: one array per item (stream)
// kind, laid out from the creation hint. It holds positions, one colour,
// normals, the hinted texture-coordinate sets (up to eight), the extra
// vectors when hinted and, for chunks skinned on the hardware, weights and
// bone indices.
#pragma once

#include <array>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/chunks/StandardChunkHint.h"

namespace Nyx {

class GeometryChunkStreams : public GeometryChunk {
public:
    // Null when the material is null; one reference for the caller.
    static GeometryChunkStreams* Create(Material* material, uint32_t vertexCount, uint32_t primitiveCount,
                                        uint32_t indexCount, uint32_t faceCount, uint32_t primitiveCode,
                                        const StandardChunkHint& hint);

    const StandardChunkHint& GetCreationHint() const noexcept { return creationHint_; }

    GeometryChunk* CreateInstance(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                  uint32_t faceCount) const override;
    GeometryChunk* CreateInstance() const override;
    bool ResizeVertexArray(Display& display, uint32_t count) override;
    uint32_t GetVertexSize(int32_t stream = -1) const noexcept override;
    ItemArray<unsigned char> GetItemArray(uint32_t item) noexcept override;

private:
    GeometryChunkStreams(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                         const StandardChunkHint& hint);

    StandardChunkHint creationHint_;
    std::array<ChunkArray<unsigned char>, kItemCount> streams_;
    std::array<bool, kItemCount> present_{};
};

}  // namespace Nyx
