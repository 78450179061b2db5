// Lets a collision tree read a mesh definition's triangles where they lie,
// without a copy. A triangle reference holds the chunk index in its upper
// 16 bits and three times the face number in the lower 16: the place of
// the first index of a list triangle, and for strips and fans a face number
// that their shared corners do not make ambiguous.
#pragma once

#include <cstdint>

#include "nyx/scene/math/Quaternion.h"
#include "resources/collision/KSAxisBoxTreeExternalGeometry.h"

class KestroIndexedMeshDefinition;

class CollisionGeometrySharingInterface : public KSAxisBoxTreeExternalGeometry {
public:
    explicit CollisionGeometrySharingInterface(const KestroIndexedMeshDefinition& definition) noexcept
        : definition_(definition)
    {
    }

    static constexpr uint32_t MakeReference(uint32_t chunk, uint32_t firstIndex) noexcept
    {
        return chunk << 16 | (firstIndex & 0xFFFF);
    }

    // The corners of the referenced face by its chunk's primitive kind;
    // false when they are not all there.
    bool GetTriangleCorners(uint32_t reference, Nyx::Vector3f corners[3]) const override;
    // Triangle t of a chunk by its primitive kind (list, strip or fan);
    // false for other kinds and for triangles past the indices.
    bool GetChunkTriangle(uint32_t chunk, uint32_t t, Nyx::Vector3f corners[3]) const;

private:
    bool Corners(uint32_t chunk, const uint32_t at[3], Nyx::Vector3f corners[3]) const;

    const KestroIndexedMeshDefinition& definition_;
};
