// One animation playing on a skeleton: made from an animation resource and
// given back once the caller has what it wanted (its length).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "nyx/files/File.h"
#include "nyx/anim/AnimationResource.h"

namespace Nyx {

class AnimationModifier {
public:
    // The animation file of that name in the folder, as an instance of the
    // given type; null when the file cannot be loaded.
    static std::unique_ptr<AnimationModifier> CreateInstance(const File::Path& folder, std::string_view name,
                                                             int32_t type);

    AnimationModifier(const AnimationModifier&) = delete;
    AnimationModifier& operator=(const AnimationModifier&) = delete;
    virtual ~AnimationModifier() = default;

    int32_t GetType() const noexcept { return type_; }
    float GetLength() const noexcept { return resource_.GetLength(); }
    const AnimationResource& GetResource() const noexcept { return resource_; }

private:
    AnimationModifier(AnimationResource resource, int32_t type) : resource_(std::move(resource)), type_(type) {}

    AnimationResource resource_;
    int32_t type_;
};

}  // namespace Nyx
