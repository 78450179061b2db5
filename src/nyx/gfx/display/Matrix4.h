// The display's 4 × 4 matrices: row-major, with points as row vectors
// (p' = p × M), so a translation lies in the last row and A × B applies A
// first.
#pragma once

#include "nyx/scene/math/Transform.h"

namespace Nyx {

struct Matrix4 {
    // m[row][column]; the identity until set.
    float m[4][4] = {{1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f}};

    static Matrix4 Identity() noexcept { return {}; }
    // The placement as a matrix: scale, then rotation, then translation.
    static Matrix4 FromTransform(const Transform& t) noexcept;
    // A bone's frame: the rotation, then the move.
    static Matrix4 FromFrame(const Quaternion& orientation, const Vector3f& position) noexcept;

    Matrix4 operator*(const Matrix4& o) const noexcept;
    Matrix4 Transposed() const noexcept;
    // Stretches each axis by its factor ahead of what the matrix does
    // already, as a scale matrix multiplied in first would.
    void ScaleAxes(const Vector3f& factors) noexcept;
    // The inverse into `out`; false, and `out` untouched, for a singular
    // matrix.
    bool Invert(Matrix4& out) const noexcept;

    // The full matrix followed by the division by w (none when w is 0).
    Vector3f TransformPoint(const Vector3f& p) const noexcept;
    // The upper 3 × 3 part only.
    Vector3f TransformDirection(const Vector3f& d) const noexcept;

    bool operator==(const Matrix4&) const = default;
};

}  // namespace Nyx
