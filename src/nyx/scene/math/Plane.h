// A plane as a normal and a distance from the origin along it: the points p
// with normal . p = distance.
#pragma once

#include "nyx/scene/math/VectorOps.h"

namespace Nyx {

class Plane {
public:
    Plane() = default;
    Plane(const Vector3f& normal, float distance) noexcept : normal_(normal), distance_(distance) {}

    // The normal is kept as given, unnormalised.
    void Set(const Vector3f& normal, float distance) noexcept
    {
        normal_ = normal;
        distance_ = distance;
    }

    const Vector3f& GetNormal() const noexcept { return normal_; }
    float GetDistance() const noexcept { return distance_; }
    // Positive on the side the normal points to.
    float SignedDistance(const Vector3f& p) const noexcept
    {
        return normal_.x * p.x + normal_.y * p.y + normal_.z * p.z - distance_;
    }

private:
    Vector3f normal_;
    float distance_ = 0.0f;
};

}  // namespace Nyx
