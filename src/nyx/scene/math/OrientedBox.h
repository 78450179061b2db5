// Bounding boxes: one along the axes (the bones' bounding volumes) and one
// turned to fit a cloud of points (a mesh's tight bounds).
#pragma once

#include <cstdint>

#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

struct AxisAlignedBox {
    Vector3f min;
    Vector3f max;

    AxisAlignedBox() = default;
    AxisAlignedBox(const Vector3f& lo, const Vector3f& hi) : min(lo), max(hi) {}
    bool Contains(const Vector3f& p) const noexcept
    {
        return p.x >= min.x && p.y >= min.y && p.z >= min.z && p.x <= max.x && p.y <= max.y && p.z <= max.z;
    }
    bool operator==(const AxisAlignedBox&) const = default;
};

class OrientedBox {
public:
    // A box of no size at the origin.
    OrientedBox() { Zero(); }
    // Fitted over `count` points read `stride` bytes apart: the axes are the
    // principal directions of the points' covariance; when two of its
    // values coincide (or the points are too few to tell), the world axes.
    OrientedBox(const void* points, uint32_t count, uint32_t stride);
    // The same over the points of several arrays together.
    struct PointArray {
        const void* points;
        uint32_t count;
        uint32_t stride;
    };
    OrientedBox(const PointArray* arrays, uint32_t arrayCount);
    // The same, and the box along the world axes around the same points:
    // the least and the largest of each coordinate, ±FLT_MAX when there is
    // none, and of equal ones (zeros of two signs) the first.
    OrientedBox(const PointArray* arrays, uint32_t arrayCount, AxisAlignedBox& bounds);

    void Zero() noexcept;

    const Vector3f& GetCentre() const noexcept { return centre_; }
    // Unit axes, the columns of the box's frame.
    const Vector3f& GetAxis(int i) const noexcept { return axes_[i]; }
    // Half the box's extent along each axis.
    const Vector3f& GetHalfSize() const noexcept { return half_; }
    bool Contains(const Vector3f& p, float slack = 1e-4f) const noexcept;
    // The same centre and axes, each half-size multiplied by its factor.
    OrientedBox Scaled(const Vector3f& factors) const noexcept;
    // True when the ray (from its start on) meets the box.
    bool TestCollision(const class Ray& ray) const noexcept;

private:
    void Fit(const PointArray* arrays, uint32_t arrayCount, AxisAlignedBox& bounds) noexcept;

    Vector3f centre_;
    Vector3f axes_[3];
    Vector3f half_;
};

}  // namespace Nyx
