#include "nyx/scene/math/OrientedBox.h"

#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <immintrin.h>
#endif

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

// The sums of the coordinates about an origin and of their products, and
// the least and the largest of each coordinate.
struct Moments {
    double x = 0, y = 0, z = 0, xx = 0, xy = 0, xz = 0, yy = 0, yz = 0, zz = 0;
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
};

// Adds the points of an array to the sums and the bounds, one point after
// another: each sum is rounded in the order of the points, so the order is
// kept exactly, and of equal coordinates (zeros of two signs) the first
// stays. Where the processor has SIMD registers, sums that do not depend on
// each other share a register, two to one, and the three bounds one; every
// lane does what the plain code does to its own value, operation for
// operation.
void AddMoments(const OrientedBox::PointArray& a, const Vector3f& origin, Moments& m) noexcept
{
    const auto* bytes = static_cast<const unsigned char*>(a.points);
#ifdef __SSE2__
    const __m128d oxy = _mm_set_pd(double(origin.y), double(origin.x));
    const __m128d ozz = _mm_set1_pd(double(origin.z));
    __m128d sxy = _mm_set_pd(m.y, m.x);
    __m128d sxxyy = _mm_set_pd(m.yy, m.xx);
    __m128d sxyyz = _mm_set_pd(m.yz, m.xy);
    __m128d sxzzz = _mm_set_pd(m.zz, m.xz);
    __m128d szz = _mm_set1_pd(m.z);
    __m128 lo = _mm_setr_ps(m.lo[0], m.lo[1], m.lo[2], 0.0f);
    __m128 hi = _mm_setr_ps(m.hi[0], m.hi[1], m.hi[2], 0.0f);
    for (uint32_t i = 0; i < a.count; ++i) {
        const unsigned char* at = bytes + static_cast<size_t>(i) * a.stride;
        // x and y as one eight-byte load, z alone: twelve bytes in all.
        const __m128 xy32 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)));
        const __m128 z32 = _mm_load_ss(reinterpret_cast<const float*>(at + 8));
        const __m128 p = _mm_movelh_ps(xy32, z32);  // (x, y, z, 0)
        // minps and maxps give their second operand when either is a NaN
        // or both are equal, as std::min and std::max keep their first.
        lo = _mm_min_ps(p, lo);
        hi = _mm_max_ps(p, hi);
        const __m128d xy = _mm_sub_pd(_mm_cvtps_pd(xy32), oxy);  // (x, y)
        const __m128d z1 = _mm_cvtss_sd(_mm_setzero_pd(), z32);
        const __m128d zz = _mm_sub_pd(_mm_unpacklo_pd(z1, z1), ozz);  // (z, z)
        const __m128d yz = _mm_shuffle_pd(xy, zz, 1);                 // (y, z)
        const __m128d xz = _mm_shuffle_pd(xy, zz, 0);                 // (x, z)
        sxy = _mm_add_pd(sxy, xy);
        szz = _mm_add_pd(szz, zz);
        sxxyy = _mm_add_pd(sxxyy, _mm_mul_pd(xy, xy));
        sxyyz = _mm_add_pd(sxyyz, _mm_mul_pd(xy, yz));
        sxzzz = _mm_add_pd(sxzzz, _mm_mul_pd(xz, zz));
    }
    double lanes[2];
    _mm_storeu_pd(lanes, sxy);
    m.x = lanes[0], m.y = lanes[1];
    _mm_storeu_pd(lanes, sxxyy);
    m.xx = lanes[0], m.yy = lanes[1];
    _mm_storeu_pd(lanes, sxyyz);
    m.xy = lanes[0], m.yz = lanes[1];
    _mm_storeu_pd(lanes, sxzzz);
    m.xz = lanes[0], m.zz = lanes[1];
    m.z = _mm_cvtsd_f64(szz);
    float l[4];
    float h[4];
    _mm_storeu_ps(l, lo);
    _mm_storeu_ps(h, hi);
    for (int k = 0; k < 3; ++k) {
        m.lo[k] = l[k];
        m.hi[k] = h[k];
    }
#else
    for (uint32_t i = 0; i < a.count; ++i) {
        float p[3];
        std::memcpy(p, bytes + static_cast<size_t>(i) * a.stride, sizeof p);
        for (int k = 0; k < 3; ++k) {
            m.lo[k] = std::min(m.lo[k], p[k]);
            m.hi[k] = std::max(m.hi[k], p[k]);
        }
        const double x = double(p[0]) - origin.x;
        const double y = double(p[1]) - origin.y;
        const double z = double(p[2]) - origin.z;
        m.x += x;
        m.y += y;
        m.z += z;
        m.xx += x * x;
        m.xy += x * y;
        m.xz += x * z;
        m.yy += y * y;
        m.yz += y * z;
        m.zz += z * z;
    }
#endif
}

// The least and the largest projection of the points on each axis. A
// projection is (x·a.x + y·a.y) + z·a.z, rounded as written; NaNs never
// replace a bound.
struct Extent {
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
};

float Project(const float p[3], const Vector3f& a) noexcept
{
    return p[0] * a.x + p[1] * a.y + p[2] * a.z;
}

void AddExtent(const OrientedBox::PointArray& a, const Vector3f& u, const Vector3f& v, const Vector3f& w,
               Extent& e) noexcept
{
    const auto* bytes = static_cast<const unsigned char*>(a.points);
    uint32_t i = 0;
#ifdef __SSE2__
    // Four points at a time, one lane each: the minimum and the maximum
    // are the same whichever lane met them first, but for the sign of a
    // zero, which the caller settles.
    const __m128 ux = _mm_set1_ps(u.x), uy = _mm_set1_ps(u.y), uz = _mm_set1_ps(u.z);
    const __m128 vx = _mm_set1_ps(v.x), vy = _mm_set1_ps(v.y), vz = _mm_set1_ps(v.z);
    const __m128 wx = _mm_set1_ps(w.x), wy = _mm_set1_ps(w.y), wz = _mm_set1_ps(w.z);
    __m128 lo0 = _mm_set1_ps(e.lo[0]), lo1 = _mm_set1_ps(e.lo[1]), lo2 = _mm_set1_ps(e.lo[2]);
    __m128 hi0 = _mm_set1_ps(e.hi[0]), hi1 = _mm_set1_ps(e.hi[1]), hi2 = _mm_set1_ps(e.hi[2]);
    // Sixteen bytes are read from a point only when a further point
    // follows it: the bytes past its third coordinate lie before the next
    // point's end.
    for (; i + 4 < a.count; i += 4) {
        const unsigned char* at = bytes + static_cast<size_t>(i) * a.stride;
        __m128 x = _mm_loadu_ps(reinterpret_cast<const float*>(at));
        __m128 y = _mm_loadu_ps(reinterpret_cast<const float*>(at + a.stride));
        __m128 z = _mm_loadu_ps(reinterpret_cast<const float*>(at + 2 * size_t{a.stride}));
        __m128 t = _mm_loadu_ps(reinterpret_cast<const float*>(at + 3 * size_t{a.stride}));
        _MM_TRANSPOSE4_PS(x, y, z, t);
        const __m128 t0 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, ux), _mm_mul_ps(y, uy)), _mm_mul_ps(z, uz));
        const __m128 t1 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, vx), _mm_mul_ps(y, vy)), _mm_mul_ps(z, vz));
        const __m128 t2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, wx), _mm_mul_ps(y, wy)), _mm_mul_ps(z, wz));
        // minps and maxps give their second operand when either is a NaN.
        lo0 = _mm_min_ps(t0, lo0);
        hi0 = _mm_max_ps(t0, hi0);
        lo1 = _mm_min_ps(t1, lo1);
        hi1 = _mm_max_ps(t1, hi1);
        lo2 = _mm_min_ps(t2, lo2);
        hi2 = _mm_max_ps(t2, hi2);
    }
    const __m128 lows[3] = {lo0, lo1, lo2};
    const __m128 highs[3] = {hi0, hi1, hi2};
    for (int k = 0; k < 3; ++k) {
        float l[4];
        float h[4];
        _mm_storeu_ps(l, lows[k]);
        _mm_storeu_ps(h, highs[k]);
        for (int lane = 0; lane < 4; ++lane) {
            e.lo[k] = std::min(e.lo[k], l[lane]);
            e.hi[k] = std::max(e.hi[k], h[lane]);
        }
    }
#endif
    for (; i < a.count; ++i) {
        float p[3];
        std::memcpy(p, bytes + static_cast<size_t>(i) * a.stride, sizeof p);
        const float t[3] = {Project(p, u), Project(p, v), Project(p, w)};
        for (int k = 0; k < 3; ++k) {
            e.lo[k] = std::min(e.lo[k], t[k]);
            e.hi[k] = std::max(e.hi[k], t[k]);
        }
    }
}

// The first projection on the axis, in the order of the points, that is
// zero; called only when one is.
float FirstZeroProjection(const OrientedBox::PointArray* arrays, uint32_t arrayCount, const Vector3f& axis) noexcept
{
    for (uint32_t k = 0; k < arrayCount; ++k) {
        const OrientedBox::PointArray& a = arrays[k];
        if (!a.points || a.stride < sizeof(Vector3f))
            continue;
        const auto* bytes = static_cast<const unsigned char*>(a.points);
        for (uint32_t i = 0; i < a.count; ++i) {
            float p[3];
            std::memcpy(p, bytes + static_cast<size_t>(i) * a.stride, sizeof p);
            const float t = Project(p, axis);
            if (t == 0.0f)
                return t;
        }
    }
    return 0.0f;
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
    AxisAlignedBox unused;
    Fit(arrays, arrayCount, unused);
}

OrientedBox::OrientedBox(const PointArray* arrays, uint32_t arrayCount, AxisAlignedBox& bounds)
{
    Fit(arrays, arrayCount, bounds);
}

void OrientedBox::Fit(const PointArray* arrays, uint32_t arrayCount, AxisAlignedBox& bounds) noexcept
{
    Zero();
    bounds = {{FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
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
    Moments m;
    for (uint32_t k = 0; k < arrayCount; ++k)
        if (arrays[k].points && arrays[k].stride >= sizeof(Vector3f))
            AddMoments(arrays[k], origin, m);
    bounds = {{m.lo[0], m.lo[1], m.lo[2]}, {m.hi[0], m.hi[1], m.hi[2]}};
    const double n = static_cast<double>(count);
    double cov[3][3] = {{m.xx - m.x * m.x / n, m.xy - m.x * m.y / n, m.xz - m.x * m.z / n},
                        {0, m.yy - m.y * m.y / n, m.yz - m.y * m.z / n},
                        {0, 0, m.zz - m.z * m.z / n}};
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
    const Vector3f& u = axes_[0];
    const Vector3f& v = axes_[1];
    const Vector3f& w = axes_[2];
    Extent e;
    for (uint32_t k = 0; k < arrayCount; ++k)
        if (arrays[k].points && arrays[k].stride >= sizeof(Vector3f))
            AddExtent(arrays[k], u, v, w, e);
    // Of equal values the first seen is kept; only zeros of two signs are
    // equal with different bits, and the batches above may have seen a
    // later one first. The first zero in order is the one to keep.
    for (int a = 0; a < 3; ++a) {
        if (e.lo[a] == 0.0f)
            e.lo[a] = FirstZeroProjection(arrays, arrayCount, axes_[a]);
        if (e.hi[a] == 0.0f)
            e.hi[a] = FirstZeroProjection(arrays, arrayCount, axes_[a]);
    }
    centre_ = u * ((e.lo[0] + e.hi[0]) * 0.5f) + v * ((e.lo[1] + e.hi[1]) * 0.5f) + w * ((e.lo[2] + e.hi[2]) * 0.5f);
    half_ = {(e.hi[0] - e.lo[0]) * 0.5f, (e.hi[1] - e.lo[1]) * 0.5f, (e.hi[2] - e.lo[2]) * 0.5f};
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
