#include "resources/mesh/indexed/CollisionGeometrySharingInterface.h"

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

bool CollisionGeometrySharingInterface::Corners(uint32_t chunk, const uint32_t at[3], Nyx::Vector3f corners[3]) const
{
    const Nyx::GeometryChunk* geometry = definition_.GetChunk(chunk);
    const uint16_t* indices = geometry ? geometry->GetIndexArray() : nullptr;
    const auto positions = geometry ? geometry->GetVector3Array(Nyx::kItemPosition)
                                    : Nyx::ItemArray<const Nyx::Vector3Item>{};
    if (!indices || !positions)
        return false;
    for (int k = 0; k < 3; ++k) {
        if (at[k] >= geometry->GetIndexCount() || indices[at[k]] >= geometry->GetVertexCount())
            return false;
        const Nyx::Vector3Item& p = positions[indices[at[k]]];
        corners[k] = {p.x, p.y, p.z};
    }
    return true;
}

bool CollisionGeometrySharingInterface::GetTriangleCorners(uint32_t reference, Nyx::Vector3f corners[3]) const
{
    // References are made from face numbers: any other low part names no
    // face.
    if ((reference & 0xFFFF) % 3 != 0)
        return false;
    return GetChunkTriangle(reference >> 16, (reference & 0xFFFF) / 3, corners);
}

bool CollisionGeometrySharingInterface::GetChunkTriangle(uint32_t chunk, uint32_t t, Nyx::Vector3f corners[3]) const
{
    const Nyx::GeometryChunk* geometry = definition_.GetChunk(chunk);
    if (!geometry)
        return false;
    uint32_t at[3];
    switch (geometry->GetPrimitiveFlags() & 0x1F) {
    case 4:
        if (t > (UINT32_MAX - 2) / 3)
            return false;
        at[0] = 3 * t;
        at[1] = 3 * t + 1;
        at[2] = 3 * t + 2;
        break;
    case 8:
        if (t > UINT32_MAX - 2)
            return false;
        at[0] = t;
        at[1] = t & 1 ? t + 2 : t + 1;
        at[2] = t & 1 ? t + 1 : t + 2;
        break;
    case 16:
        if (t > UINT32_MAX - 2)
            return false;
        at[0] = 0;
        at[1] = t + 1;
        at[2] = t + 2;
        break;
    default:
        return false;
    }
    return Corners(chunk, at, corners);
}
