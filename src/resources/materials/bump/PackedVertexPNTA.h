// The bump materials' vertices: position, normal, one texture coordinate
// and the tangent, the layout their vertex programs read.
#pragma once

#include "nyx/gfx/chunks/GeometryChunkSingleStream.h"
#include "nyx/gfx/chunks/VertexType.h"
#include "resources/mesh/GeometryChunkTemplate.h"

namespace Nyx {

struct PackedVertexPNTA {
    static constexpr uint32_t kTypeId = kVertexTypePNTA;
    float position[3];
    float normal[3];
    float texCoord[2];
    float tangent[3];
};
static_assert(sizeof(PackedVertexPNTA) == 44);

using GeometryChunkPNTA = GeometryChunkTemplate<PackedVertexPNTA, GeometryChunkSingleStream>;

}  // namespace Nyx
