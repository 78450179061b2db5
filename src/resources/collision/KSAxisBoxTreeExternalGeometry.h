// How a collision tree reaches the triangles it was built over: the tree
// keeps only their references, the owner of the mesh answers for corners.
#pragma once

#include <cstdint>

#include "nyx/scene/math/VectorOps.h"

class KSAxisBoxTreeExternalGeometry {
public:
    virtual ~KSAxisBoxTreeExternalGeometry() = default;

    // The corners of the triangle named by the reference, (chunk << 16) |
    // (face × 3); false when the geometry has no such triangle.
    virtual bool GetTriangleCorners(uint32_t reference, Nyx::Vector3f corners[3]) const = 0;
};
