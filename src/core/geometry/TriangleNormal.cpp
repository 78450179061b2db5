#include "core/geometry/TriangleNormal.h"

#include "core/geometry/VectorLength.h"

void TriangleNormal(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& n) noexcept
{
    const Vector3 e1{b.x - a.x, b.y - a.y, b.z - a.z};
    const Vector3 e2{c.x - a.x, c.y - a.y, c.z - a.z};
    // Computed into a local first: n may be one of the points.
    const Vector3 cross{e2.y * e1.z - e2.z * e1.y, e2.z * e1.x - e2.x * e1.z, e2.x * e1.y - e2.y * e1.x};
    n = cross;
    const float length = VectorLength(cross);
    if (length == 0.0f)
        return;
    const float f = 1.0f / length;
    n = {cross.x * f, cross.y * f, cross.z * f};
}
