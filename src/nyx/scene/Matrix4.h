// The engine's 4×4 matrix: m[row][column], points as columns, so that
// A × B applies B first. Bone poses and skinning palettes are kept in it.
#pragma once

#include "nyx/scene/Quaternion.h"

namespace Nyx {

struct Matrix4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    // The rotation then the move.
    static Matrix4 FromFrame(const Quaternion& orientation, const Vector3f& position) noexcept;
    Matrix4 operator*(const Matrix4& o) const noexcept;
    // Each column axis stretched by its factor (the scale is applied
    // before this matrix).
    void ScaleAxes(const Vector3f& factors) noexcept;
    // False, and the matrix unchanged, when it has no inverse.
    bool Invert() noexcept;
    Vector3f TransformPoint(const Vector3f& p) const noexcept
    {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    bool operator==(const Matrix4&) const = default;
};

}  // namespace Nyx
