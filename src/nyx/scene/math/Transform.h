// A placement in the scene: a rotation, then a scale along the rotated
// axes' sources, then a translation. Points map as position + R (s ∘ p).
#pragma once

#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

struct Transform {
    Matrix3 rotation;
    Vector3f position;
    Vector3f scale{1.0f, 1.0f, 1.0f};

    static Transform FromFrame(const Vector3f& position, const Quaternion& orientation) noexcept
    {
        Transform t;
        t.rotation = orientation.ToMatrix();
        t.position = position;
        return t;
    }
    Vector3f Apply(const Vector3f& p) const noexcept
    {
        return position + rotation.Transform({p.x * scale.x, p.y * scale.y, p.z * scale.z});
    }
    bool operator==(const Transform&) const = default;
};

}  // namespace Nyx
