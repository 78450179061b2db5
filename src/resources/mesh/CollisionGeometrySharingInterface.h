// Lets a collision tree read a mesh definition's triangles where they lie,
// without a copy. A triangle reference holds the chunk index in its upper
// 16 bits and the place of the triangle's first index in the lower 16.
#pragma once

#include <cstdint>

#include "nyx/scene/Quaternion.h"

class KestroIndexedMeshDefinition;

class CollisionGeometrySharingInterface {
public:
    explicit CollisionGeometrySharingInterface(const KestroIndexedMeshDefinition& definition) noexcept
        : definition_(definition)
    {
    }
    virtual ~CollisionGeometrySharingInterface() = default;

    static constexpr uint32_t MakeReference(uint32_t chunk, uint32_t firstIndex) noexcept
    {
        return chunk << 16 | (firstIndex & 0xFFFF);
    }

    // The positions of the vertices named by the referenced index and the
    // two after it; false when they are not all there.
    virtual bool GetTriangleCorners(uint32_t reference, Nyx::Vector3f corners[3]) const;
    // Triangle t of a chunk by its primitive kind (list, strip or fan);
    // false for other kinds and for triangles past the indices.
    bool GetChunkTriangle(uint32_t chunk, uint32_t t, Nyx::Vector3f corners[3]) const;

private:
    bool Corners(uint32_t chunk, const uint32_t at[3], Nyx::Vector3f corners[3]) const;

    const KestroIndexedMeshDefinition& definition_;
};
