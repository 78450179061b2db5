#include "nyx/anim/AnimationModifier.h"

namespace Nyx {

std::unique_ptr<AnimationModifier> AnimationModifier::CreateInstance(const File::Path& folder, std::string_view name,
                                                                     int32_t type)
{
    File::Path path = folder;
    path.AddPath(name);
    AnimationResource resource(path);
    if (!resource.Load())
        return nullptr;
    return std::unique_ptr<AnimationModifier>(new AnimationModifier(std::move(resource), type));
}

}  // namespace Nyx
