#include "nyx/scene/math/OrientedBox.h"

#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>

namespace Nyx {

namespace {

Vector3f PointAt(const void* points, uint32_t i, uint32_t stride)
{
    Vector3f p;
    std::memcpy(&p, static_cast<const unsigned char*>(points) + static_cast<size_t>(i) * stride, sizeof p);
    return p;
}

// Eigenvectors of a symmetric 3×3 matrix by Jacobi rotations; the columns
// of `v` come back as the vectors, `d` as their values.
void Jacobi(double a[3][3], double v[3][3], double d[3])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            v[i][j] = i == j ? 1.0 : 0.0;
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off < 1e-30)
            break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (std::fabs(a[p][q]) < 1e-300)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < 3; ++k) {
                    const double akp = a[k][p];
                    const double akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double apk = a[p][k];
                    const double aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p];
                    const double vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    for (int i = 0; i < 3; ++i)
        d[i] = a[i][i];
}

}  // namespace

void OrientedBox::Zero() noexcept
{
    centre_ = {};
    half_ = {};
    axes_[0] = {1.0f, 0.0f, 0.0f};
    axes_[1] = {0.0f, 1.0f, 0.0f};
    axes_[2] = {0.0f, 0.0f, 1.0f};
}

OrientedBox::OrientedBox(const void* points, uint32_t count, uint32_t stride)
{
    const PointArray array{points, count, stride};
    *this = OrientedBox(&array, 1);
}

OrientedBox::OrientedBox(const PointArray* arrays, uint32_t arrayCount)
{
    Zero();
    uint64_t count = 0;
    const PointArray* first = nullptr;
    for (uint32_t k = 0; k < arrayCount; ++k) {
        if (!arrays[k].points || arrays[k].count == 0 || arrays[k].stride < sizeof(Vector3f))
            continue;
        first = first ? first : &arrays[k];
        count += arrays[k].count;
    }
    if (!first)
        return;
    // One pass of moments about the first point, which keeps the sums
    // small for clouds far from the origin.
    const Vector3f origin = PointAt(first->points, 0, first->stride);
    double sx = 0, sy = 0, sz = 0, sxx = 0, sxy = 0, sxz = 0, syy = 0, syz = 0, szz = 0;
    for (uint32_t k = 0; k < arrayCount; ++k) {
        const PointArray& a = arrays[k];
        if (!a.points || a.stride < sizeof(Vector3f))
            continue;
        const auto* bytes = static_cast<const unsigned char*>(a.points);
        for (uint32_t i = 0; i < a.count; ++i) {
            float p[3];
            std::memcpy(p, bytes + static_cast<size_t>(i) * a.stride, sizeof p);
            const double x = double(p[0]) - origin.x;
            const double y = double(p[1]) - origin.y;
            const double z = double(p[2]) - origin.z;
            sx += x;
            sy += y;
            sz += z;
            sxx += x * x;
            sxy += x * y;
            sxz += x * z;
            syy += y * y;
            syz += y * z;
            szz += z * z;
        }
    }
    const double n = static_cast<double>(count);
    double cov[3][3] = {{sxx - sx * sx / n, sxy - sx * sy / n, sxz - sx * sz / n},
                        {0, syy - sy * sy / n, syz - sy * sz / n},
                        {0, 0, szz - sz * sz / n}};
    cov[1][0] = cov[0][1];
    cov[2][0] = cov[0][2];
    cov[2][1] = cov[1][2];
    double vectors[3][3];
    double values[3];
    Jacobi(cov, vectors, values);
    // Equal values leave the directions in their plane undecided: the world
    // axes are as good as any and keep flat or cubic clouds axis-aligned.
    const double scale = std::fabs(values[0]) + std::fabs(values[1]) + std::fabs(values[2]);
    bool degenerate = count < 3 || !(scale > 0.0) || !std::isfinite(scale);
    for (int i = 0; i < 3 && !degenerate; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (std::fabs(values[i] - values[j]) <= 1e-6 * scale)
                degenerate = true;
    if (!degenerate) {
        for (int a = 0; a < 3; ++a) {
            axes_[a] = {static_cast<float>(vectors[0][a]), static_cast<float>(vectors[1][a]),
                        static_cast<float>(vectors[2][a])};
            const float len = axes_[a].Length();
            axes_[a] = len > 0.0f ? axes_[a] * (1.0f / len) : axes_[a];
        }
    }
    const Vector3f u = axes_[0];
    const Vector3f v = axes_[1];
    const Vector3f w = axes_[2];
    float lo0 = FLT_MAX, lo1 = FLT_MAX, lo2 = FLT_MAX;
    float hi0 = -FLT_MAX, hi1 = -FLT_MAX, hi2 = -FLT_MAX;
    for (uint32_t k = 0; k < arrayCount; ++k) {
        const PointArray& a = arrays[k];
        if (!a.points || a.stride < sizeof(Vector3f))
            continue;
        const auto* bytes = static_cast<const unsigned char*>(a.points);
        for (uint32_t i = 0; i < a.count; ++i) {
            float p[3];
            std::memcpy(p, bytes + static_cast<size_t>(i) * a.stride, sizeof p);
            const float t0 = p[0] * u.x + p[1] * u.y + p[2] * u.z;
            const float t1 = p[0] * v.x + p[1] * v.y + p[2] * v.z;
            const float t2 = p[0] * w.x + p[1] * w.y + p[2] * w.z;
            lo0 = std::min(lo0, t0);
            hi0 = std::max(hi0, t0);
            lo1 = std::min(lo1, t1);
            hi1 = std::max(hi1, t1);
            lo2 = std::min(lo2, t2);
            hi2 = std::max(hi2, t2);
        }
    }
    centre_ = u * ((lo0 + hi0) * 0.5f) + v * ((lo1 + hi1) * 0.5f) + w * ((lo2 + hi2) * 0.5f);
    half_ = {(hi0 - lo0) * 0.5f, (hi1 - lo1) * 0.5f, (hi2 - lo2) * 0.5f};
}

bool OrientedBox::Contains(const Vector3f& p, float slack) const noexcept
{
    const Vector3f d = p - centre_;
    const float h[3] = {half_.x, half_.y, half_.z};
    for (int a = 0; a < 3; ++a)
        if (std::fabs(d.Dot(axes_[a])) > h[a] + slack * (1.0f + h[a]))
            return false;
    return true;
}

}  // namespace Nyx
