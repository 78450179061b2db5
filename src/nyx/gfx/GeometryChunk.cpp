#include "nyx/gfx/GeometryChunk.h"

#include "nyx/gfx/Material.h"

namespace Nyx {

GeometryChunk* GeometryChunk::Create(Material* material, const ChunkHint& hint, uint32_t vertexCount,
                                     uint32_t primitiveCount, uint32_t indexCount)
{
    if (!material || hint.vertexSize == 0)
        return nullptr;
    auto* chunk = new GeometryChunk(material, hint, vertexCount, primitiveCount, indexCount);
    chunk->AddRef();
    return chunk;
}

GeometryChunk::GeometryChunk(Material* material, const ChunkHint& hint, uint32_t vertexCount, uint32_t primitiveCount,
                             uint32_t indexCount)
    : material_(material), hint_(hint), vertexCount_(vertexCount), primitiveCount_(primitiveCount),
      indexCount_(indexCount)
{
    material_->AddRef();
}

GeometryChunk::~GeometryChunk() { material_->Release(); }

}  // namespace Nyx
