#include <algorithm>
#include <cfloat>
#include <cmath>

#include "nyx/scene/math/OrientedBox.h"
#include "nyx/scene/math/Ray.h"

namespace Nyx {

OrientedBox OrientedBox::Scaled(const Vector3f& factors) const noexcept
{
    OrientedBox box(*this);
    box.half_ = {half_.x * factors.x, half_.y * factors.y, half_.z * factors.z};
    return box;
}

bool OrientedBox::TestCollision(const Ray& ray) const noexcept
{
    // Slabs along the box's own axes.
    const Vector3f d = centre_ - ray.GetPoint();
    const float half[3] = {half_.x, half_.y, half_.z};
    float enter = 0.0f;
    float leave = FLT_MAX;
    for (int i = 0; i < 3; ++i) {
        const float e = axes_[i].Dot(d);
        const float f = axes_[i].Dot(ray.GetDirection());
        if (std::fabs(f) > 1e-20f) {
            float t1 = (e + half[i]) / f;
            float t2 = (e - half[i]) / f;
            if (t1 > t2)
                std::swap(t1, t2);
            enter = std::max(enter, t1);
            leave = std::min(leave, t2);
            if (enter > leave)
                return false;
        } else if (-e - half[i] > 0.0f || -e + half[i] < 0.0f) {
            return false;
        }
    }
    return true;
}

}  // namespace Nyx
