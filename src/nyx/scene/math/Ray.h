// A half-line: a start point and a direction (unit length by convention of
// the callers; the ray keeps what it is given).
#pragma once

#include "nyx/scene/math/VectorOps.h"

namespace Nyx {

class Ray {
public:
    Ray() = default;
    Ray(const Vector3f& point, const Vector3f& direction) noexcept : point_(point), direction_(direction) {}

    void SetPoint(const Vector3f& p) noexcept { point_ = p; }
    void SetDirection(const Vector3f& d) noexcept { direction_ = d; }
    const Vector3f& GetPoint() const noexcept { return point_; }
    const Vector3f& GetDirection() const noexcept { return direction_; }

private:
    Vector3f point_;
    Vector3f direction_{0.0f, 0.0f, 1.0f};
};

}  // namespace Nyx
