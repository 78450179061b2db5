#include "nyx/scene/Matrix4.h"

#include <cmath>
#include <utility>

namespace Nyx {

Matrix4 Matrix4::FromFrame(const Quaternion& orientation, const Vector3f& position) noexcept
{
    const Matrix3 r = orientation.ToMatrix();
    Matrix4 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out.m[row][col] = r.m[row][col];
    out.m[0][3] = position.x;
    out.m[1][3] = position.y;
    out.m[2][3] = position.z;
    return out;
}

Matrix4 Matrix4::operator*(const Matrix4& o) const noexcept
{
    Matrix4 out;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += m[row][k] * o.m[k][col];
            out.m[row][col] = sum;
        }
    return out;
}

void Matrix4::ScaleAxes(const Vector3f& factors) noexcept
{
    const float f[3] = {factors.x, factors.y, factors.z};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            m[row][col] *= f[col];
}

bool Matrix4::Invert() noexcept
{
    // Gauss-Jordan with partial pivoting, in double so that poses built
    // from many small steps keep their precision.
    double a[4][8];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            a[row][col] = m[row][col];
            a[row][col + 4] = row == col ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 4; ++row)
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col]))
                pivot = row;
        if (!(std::fabs(a[pivot][col]) > 1e-12))
            return false;
        if (pivot != col)
            for (int k = 0; k < 8; ++k)
                std::swap(a[pivot][k], a[col][k]);
        const double scale = 1.0 / a[col][col];
        for (int k = 0; k < 8; ++k)
            a[col][k] *= scale;
        for (int row = 0; row < 4; ++row) {
            if (row == col || a[row][col] == 0.0)
                continue;
            const double factor = a[row][col];
            for (int k = 0; k < 8; ++k)
                a[row][k] -= factor * a[col][k];
        }
    }
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            m[row][col] = static_cast<float>(a[row][col + 4]);
    return true;
}

}  // namespace Nyx
