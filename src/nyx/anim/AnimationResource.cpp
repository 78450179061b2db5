#include "nyx/anim/AnimationResource.h"

namespace Nyx {

bool AnimationResource::Load()
{
    loaded_ = File::Exists(path_) == 0 && !File::IsFolder(path_);
    return loaded_;
}

}  // namespace Nyx
