#include "resources/collision/TriangleTests.h"

#include <cmath>
#include <utility>

#include "core/geometry/TriangleNormal.h"
#include "nyx/scene/math/Plane.h"

using Nyx::Cross;
using Nyx::Dot;
using V3 = Nyx::Vector3f;

bool RayTriangleIntersect(const V3& a, const V3& b, const V3& c, const V3& origin,
                          const V3& direction, bool twoSided, float& nearest) noexcept
{
    constexpr float kEpsilon = 1e-6f;
    const V3 e1 = b - a;
    const V3 e2 = c - a;
    const V3 p = Cross(direction, e2);
    const float det = Dot(e1, p);
    const V3 s = origin - a;
    float t;
    if (twoSided) {
        if (det > -kEpsilon && det < kEpsilon)
            return false;
        const float inv = 1.0f / det;
        const float u = Dot(s, p) * inv;
        if (u < 0.0f || u > 1.0f)
            return false;
        const V3 q = Cross(s, e1);
        const float v = Dot(direction, q) * inv;
        if (v < 0.0f || u + v > 1.0f)
            return false;
        t = Dot(e2, q) * inv;
    } else {
        if (det < kEpsilon)
            return false;
        const float u = Dot(s, p);
        if (u < 0.0f || u > det)
            return false;
        const V3 q = Cross(s, e1);
        const float v = Dot(direction, q);
        if (v < 0.0f || u + v > det)
            return false;
        t = (1.0f / det) * Dot(e2, q);
    }
    // A hit behind the origin would otherwise win as the nearest.
    if (!(t >= 0.0f))
        return false;
    if (t < nearest)
        nearest = t;
    return true;
}

bool PointInTriangle(const V3& n, const V3& a, const V3& b, const V3& c,
                     const V3& point) noexcept
{
    const float ax = std::fabs(n.x);
    const float ay = std::fabs(n.y);
    const float az = std::fabs(n.z);
    // The kept axes as (u, v) and the dropped one's normal component.
    auto project = [](const V3& p, int drop) -> std::pair<float, float> {
        switch (drop) {
        case 2:
            return {p.x, p.y};
        case 1:
            return {p.z, p.x};
        default:
            return {p.y, p.z};
        }
    };
    int drop;
    float w;
    if (az >= ax && az >= ay) {
        drop = 2;
        w = n.z;
    } else if (ay > az && ay >= ax) {
        drop = 1;
        w = n.y;
    } else {
        drop = 0;
        w = n.x;
    }
    const std::pair<float, float> corners[3] = {project(a, drop), project(b, drop), project(c, drop)};
    const auto [pu, pv] = project(point, drop);
    for (int i = 0; i < 3; ++i) {
        const auto& q = corners[(i + 2) % 3];
        const auto& k = corners[i];
        const float s = ((k.first - q.first) * (pv - q.second) - (k.second - q.second) * (pu - q.first)) * w;
        if (s < 0.0f)
            return false;
    }
    return true;
}

bool IsTriangleUsable(const V3& a, const V3& b, const V3& c) noexcept
{
    // (a - b) x (c - b), unit length unless it is zero.
    ::Vector3 n;
    TriangleNormal(::Vector3{b.x, b.y, b.z}, ::Vector3{c.x, c.y, c.z}, ::Vector3{a.x, a.y, a.z}, n);
    const V3 normal{n.x, n.y, n.z};
    Nyx::Plane plane;
    plane.Set(normal, Dot(normal, a));
    const V3& kept = plane.GetNormal();
    const double squared = static_cast<double>(kept.x) * kept.x + static_cast<double>(kept.y) * kept.y +
                           static_cast<double>(kept.z) * kept.z;
    return squared >= 0.1;
}
