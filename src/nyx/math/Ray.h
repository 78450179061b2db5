// A half-line: a start point and a direction (unit length by convention of
// the callers; the ray keeps what it is given).
#pragma once

#include "nyx/math/Vector.h"

namespace Nyx {

class Ray {
public:
    Ray() = default;
    Ray(const Vector3& point, const Vector3& direction) noexcept : point_(point), direction_(direction) {}

    void SetPoint(const Vector3& p) noexcept { point_ = p; }
    void SetDirection(const Vector3& d) noexcept { direction_ = d; }
    const Vector3& GetPoint() const noexcept { return point_; }
    const Vector3& GetDirection() const noexcept { return direction_; }

private:
    Vector3 point_;
    Vector3 direction_{0.0f, 0.0f, 1.0f};
};

}  // namespace Nyx
