// The engine's vector of three floats, with the few operations the scene
// and collision code use.
#pragma once

#include <cmath>

namespace Nyx {

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    bool operator==(const Vector3&) const = default;
};

inline Vector3 operator+(const Vector3& a, const Vector3& b) noexcept { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 operator-(const Vector3& a, const Vector3& b) noexcept { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 operator*(const Vector3& a, float s) noexcept { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(const Vector3& a, const Vector3& b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector3 Cross(const Vector3& a, const Vector3& b) noexcept
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Vector3& v) noexcept { return std::sqrt(Dot(v, v)); }
// A zero vector stays zero.
inline Vector3 Normalised(const Vector3& v) noexcept
{
    const float l = Length(v);
    return l > 0.0f ? v * (1.0f / l) : v;
}

}  // namespace Nyx
