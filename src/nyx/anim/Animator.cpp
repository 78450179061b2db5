#include "nyx/anim/Animator.h"

#include "nyx/anim/AnimationResource.h"
#include "nyx/anim/SkeletonModifier.h"

namespace Nyx {

int32_t Animator::Add(std::string_view name, int32_t type, float weight, float blendIn, float blendOut)
{
    File::Path path = folder_;
    path.AddPath(name);
    AnimationResource resource(path);
    if (!resource.Load())
        return kNoResource;
    if (!skeleton_ || !skeleton_->HasSkeleton())
        return kNoSkeleton;
    entries_.push_back({std::string(name), type, weight, blendIn, blendOut});
    return kAdded;
}

}  // namespace Nyx
