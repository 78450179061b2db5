// The engine's base for chunks whose vertices lie in one stream of one
// vertex type; the class that derives from it keeps the vertices.
#pragma once

#include "nyx/gfx/chunks/GeometryChunk.h"

namespace Nyx {

class GeometryChunkSingleStream : public GeometryChunk {
public:
    GeometryChunkSingleStream(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount, uint32_t faceCount,
                              uint32_t creationFlags)
        : GeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, creationFlags)
    {
    }
};

}  // namespace Nyx
