#include "nyx/scene/ObjectLOD.h"

#include <algorithm>

namespace Nyx {

void ObjectLOD::Init(const std::vector<float>& cutOffs, uint32_t calcPoint)
{
    const size_t kept = std::min<size_t>(cutOffs.size(), kMaxCutOffs);
    cutOffs_.assign(cutOffs.begin(), cutOffs.begin() + static_cast<std::ptrdiff_t>(kept));
    calcPoint_ = calcPoint <= kCalcFar ? calcPoint : kCalcCentre;
}

void ObjectLOD::InitInstance(const ObjectLOD& from)
{
    cutOffs_ = from.cutOffs_;
    calcPoint_ = from.calcPoint_;
    multiplier_ = from.multiplier_;
    offset_ = from.offset_;
    lastLOD_ = from.lastLOD_;
}

float ObjectLOD::FindLOD(const Sphere& sphere, const Camera& camera)
{
    const Vector3f eye = camera.GetViewTransform().position;
    float distance = (sphere.centre - eye).Length();
    if (calcPoint_ == kCalcNear)
        distance = std::max(0.0f, distance - sphere.radius);  // from inside, the nearest point is here
    else if (calcPoint_ == kCalcFar)
        distance += sphere.radius;
    lastLOD_ = distance * multiplier_ + offset_;
    return lastLOD_;
}

uint32_t ObjectLOD::FindLODIndex(float value) const noexcept
{
    for (uint32_t i = 0; i < cutOffs_.size(); ++i)
        if (cutOffs_[i] >= value)
            return i;
    return cutOffs_.empty() ? 0 : static_cast<uint32_t>(cutOffs_.size() - 1);
}

}  // namespace Nyx
