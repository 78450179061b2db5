// The geometric tests of the collision code: ray against triangle, point in
// triangle, degenerate triangles, and segment against box.
#pragma once

#include <cmath>

#include "nyx/scene/math/VectorOps.h"

// Two-sided: a hit from either side, refused when the ray lies within 1e-6
// (by determinant) of the triangle's plane. One-sided: only from the side
// that sees a, b, c run counter-clockwise. True on any hit at t >= 0 (a hit
// behind the origin is none); nearest takes t only when t is smaller. t is
// in units of the direction's length.
bool RayTriangleIntersect(const Nyx::Vector3f& a, const Nyx::Vector3f& b, const Nyx::Vector3f& c,
                          const Nyx::Vector3f& origin, const Nyx::Vector3f& direction, bool twoSided,
                          float& nearest) noexcept;

// The point is taken as lying in the triangle's plane (normal given by the
// caller); true inside and on an edge.
bool PointInTriangle(const Nyx::Vector3f& normal, const Nyx::Vector3f& a, const Nyx::Vector3f& b,
                     const Nyx::Vector3f& c, const Nyx::Vector3f& point) noexcept;

// False only for triangles without area, whose normal stays zero.
bool IsTriangleUsable(const Nyx::Vector3f& a, const Nyx::Vector3f& b, const Nyx::Vector3f& c) noexcept;

// Separating-axis test of a segment (midpoint, half vector and its absolute
// value per axis) against a box (centre, half-extents). Inline: a tree
// query makes it at every node it reaches.
inline bool SegmentOverlapsBox(const Nyx::Vector3f& m, const Nyx::Vector3f& h, const Nyx::Vector3f& w,
                               const Nyx::Vector3f& centre, const Nyx::Vector3f& e) noexcept
{
    const Nyx::Vector3f d = m - centre;
    if (std::fabs(d.x) > e.x + w.x)
        return false;
    if (std::fabs(d.y) > e.y + w.y)
        return false;
    if (std::fabs(d.z) > e.z + w.z)
        return false;
    if (std::fabs(d.y * h.z - d.z * h.y) > e.y * w.z + e.z * w.y)
        return false;
    if (std::fabs(d.z * h.x - d.x * h.z) > e.x * w.z + e.z * w.x)
        return false;
    if (std::fabs(d.x * h.y - d.y * h.x) > e.x * w.y + e.y * w.x)
        return false;
    return true;
}
