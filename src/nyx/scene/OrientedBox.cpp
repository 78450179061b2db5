#include "nyx/scene/OrientedBox.h"

#include <cfloat>
#include <cmath>
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
    Zero();
    if (!points || count == 0 || stride < sizeof(Vector3f))
        return;
    double mean[3] = {0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        const Vector3f p = PointAt(points, i, stride);
        mean[0] += p.x;
        mean[1] += p.y;
        mean[2] += p.z;
    }
    for (double& m : mean)
        m /= count;
    double cov[3][3] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const Vector3f p = PointAt(points, i, stride);
        const double d[3] = {p.x - mean[0], p.y - mean[1], p.z - mean[2]};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                cov[r][c] += d[r] * d[c];
    }
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
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (uint32_t i = 0; i < count; ++i) {
        const Vector3f p = PointAt(points, i, stride);
        for (int a = 0; a < 3; ++a) {
            const float t = p.Dot(axes_[a]);
            lo[a] = t < lo[a] ? t : lo[a];
            hi[a] = t > hi[a] ? t : hi[a];
        }
    }
    centre_ = axes_[0] * ((lo[0] + hi[0]) * 0.5f) + axes_[1] * ((lo[1] + hi[1]) * 0.5f) +
              axes_[2] * ((lo[2] + hi[2]) * 0.5f);
    half_ = {(hi[0] - lo[0]) * 0.5f, (hi[1] - lo[1]) * 0.5f, (hi[2] - lo[2]) * 0.5f};
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
