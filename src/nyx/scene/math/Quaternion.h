// The engine's small rotation types: a three-float vector, a 3×3 matrix kept
// as nine floats in the order mesh files store them (row by row), and a
// unit quaternion (x, y, z, w).
#pragma once

#include <cmath>

namespace Nyx {

struct Vector3f {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3f operator+(const Vector3f& o) const noexcept { return {x + o.x, y + o.y, z + o.z}; }
    Vector3f operator-(const Vector3f& o) const noexcept { return {x - o.x, y - o.y, z - o.z}; }
    Vector3f operator*(float s) const noexcept { return {x * s, y * s, z * s}; }
    float Dot(const Vector3f& o) const noexcept { return x * o.x + y * o.y + z * o.z; }
    float Length() const noexcept { return std::sqrt(Dot(*this)); }
    bool operator==(const Vector3f&) const = default;
};

struct Matrix3 {
    // m[row][column]; the identity until set.
    float m[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

    Vector3f Transform(const Vector3f& v) const noexcept
    {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    Matrix3 Transposed() const noexcept
    {
        Matrix3 t;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                t.m[r][c] = m[c][r];
        return t;
    }
    bool operator==(const Matrix3&) const = default;
};

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    // The rotation of a matrix; a matrix that is no rotation gives whatever
    // the largest-diagonal method makes of it, normalised (the identity when
    // nothing is left).
    void Set(const Matrix3& r) noexcept;
    void Normalise() noexcept;
    Matrix3 ToMatrix() const noexcept;
    Quaternion Conjugate() const noexcept { return {-x, -y, -z, w}; }
    Quaternion operator*(const Quaternion& o) const noexcept
    {
        return {w * o.x + x * o.w + y * o.z - z * o.y, w * o.y - x * o.z + y * o.w + z * o.x,
                w * o.z + x * o.y - y * o.x + z * o.w, w * o.w - x * o.x - y * o.y - z * o.z};
    }
    Vector3f Rotate(const Vector3f& v) const noexcept { return ToMatrix().Transform(v); }
    bool operator==(const Quaternion&) const = default;
};

}  // namespace Nyx
