#include "nyx/scene/ViewPoint.h"

#include <cmath>

namespace Nyx {

uint32_t ViewPoint::CalcWantedMipLevelsForCull(const Sphere& sphere, float textureScale) const noexcept
{
    const Vector3f at = camera_.GetViewTransform().position;
    const float distance = (sphere.centre - at).Length() - sphere.radius;
    const float scaled = distance * (textureScale > 0.0f ? textureScale : 1.0f);
    if (!(scaled > kReferenceDistance))
        return 0;
    return static_cast<uint32_t>(std::floor(std::log2(scaled / kReferenceDistance)));
}

}  // namespace Nyx
