// A rigid placement with a per-axis scale, composed along a bone chain:
// points map as position + rotation (scale ∘ p).
#pragma once

#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

class Transformation {
public:
    Transformation() = default;
    Transformation(const Quaternion& orientation, const Vector3f& position) noexcept
        : rotation_(orientation.ToMatrix()), position_(position)
    {
    }

    // This placement followed by the other's, inside it: the result maps a
    // point p as this (other (p)). A scale of this one stretches the
    // other's position and axes.
    void MultiplyTransform(const Transformation& other) noexcept
    {
        Matrix3 combined;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) {
                float sum = 0.0f;
                for (int k = 0; k < 3; ++k)
                    sum += rotation_.m[row][k] * Scaled(k) * other.rotation_.m[k][col];
                combined.m[row][col] = sum;
            }
        position_ = Transform(other.position_);
        rotation_ = combined;
        scale_ = other.scale_;
    }
    void SetScale(const Vector3f& scale) noexcept { scale_ = scale; }
    const Vector3f& GetScale() const noexcept { return scale_; }
    Vector3f Transform(const Vector3f& p) const noexcept
    {
        return position_ + rotation_.Transform({p.x * scale_.x, p.y * scale_.y, p.z * scale_.z});
    }

private:
    float Scaled(int axis) const noexcept { return axis == 0 ? scale_.x : axis == 1 ? scale_.y : scale_.z; }

    Matrix3 rotation_;
    Vector3f position_;
    Vector3f scale_{1.0f, 1.0f, 1.0f};
};

}  // namespace Nyx
