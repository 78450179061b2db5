#include "nyx/gfx/display/Matrix4.h"

#include <cmath>
#include <utility>

namespace Nyx {

Matrix4 Matrix4::FromTransform(const Transform& t) noexcept
{
    Matrix4 out;
    const float s[3] = {t.scale.x, t.scale.y, t.scale.z};
    // Transform::Apply is position + R (s ∘ p): row i of the row-vector form
    // is column i of R, scaled by s[i].
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out.m[i][j] = t.rotation.m[j][i] * s[i];
    out.m[3][0] = t.position.x;
    out.m[3][1] = t.position.y;
    out.m[3][2] = t.position.z;
    return out;
}

Matrix4 Matrix4::FromFrame(const Quaternion& orientation, const Vector3f& position) noexcept
{
    return FromTransform(Transform::FromFrame(position, orientation));
}

Matrix4 Matrix4::operator*(const Matrix4& o) const noexcept
{
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += m[i][k] * o.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

Matrix4 Matrix4::Transposed() const noexcept
{
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m[j][i];
    return r;
}

void Matrix4::ScaleAxes(const Vector3f& factors) noexcept
{
    const float f[3] = {factors.x, factors.y, factors.z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] *= f[i];
}

bool Matrix4::Invert(Matrix4& out) const noexcept
{
    // Gauss-Jordan with partial pivoting, in double so that the matrices
    // materials build (rotation, scale, translation) come back exact enough.
    // A pose read from a damaged file may hold NaN or infinity: such a
    // matrix has no inverse, rather than one full of NaN.
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            if (!std::isfinite(m[i][j]))
                return false;
            a[i][j] = m[i][j];
            a[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c]))
                pivot = r;
        if (std::fabs(a[pivot][c]) < 1e-12)
            return false;
        if (pivot != c)
            for (int j = 0; j < 8; ++j)
                std::swap(a[c][j], a[pivot][j]);
        const double inv = 1.0 / a[c][c];
        for (int j = 0; j < 8; ++j)
            a[c][j] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == c || a[r][c] == 0.0)
                continue;
            const double f = a[r][c];
            for (int j = 0; j < 8; ++j)
                a[r][j] -= f * a[c][j];
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out.m[i][j] = static_cast<float>(a[i][j + 4]);
    return true;
}

Vector3f Matrix4::TransformPoint(const Vector3f& p) const noexcept
{
    float r[4];
    for (int j = 0; j < 4; ++j)
        r[j] = p.x * m[0][j] + p.y * m[1][j] + p.z * m[2][j] + m[3][j];
    if (r[3] != 0.0f && r[3] != 1.0f)
        return {r[0] / r[3], r[1] / r[3], r[2] / r[3]};
    return {r[0], r[1], r[2]};
}

Vector3f Matrix4::TransformDirection(const Vector3f& d) const noexcept
{
    return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0], d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
            d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
}

}  // namespace Nyx
