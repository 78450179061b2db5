// The vector operations the scene and collision code share beyond the ones
// the vector itself has.
#pragma once

#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

inline float Dot(const Vector3f& a, const Vector3f& b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector3f Cross(const Vector3f& a, const Vector3f& b) noexcept
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// A zero vector stays zero.
inline Vector3f Normalised(const Vector3f& v) noexcept
{
    const float l = v.Length();
    return l > 0.0f ? v * (1.0f / l) : v;
}

}  // namespace Nyx
