// The bones of a skinned mesh node, as the animations that move them see
// them. Nothing is drawn here: the modifier only knows how many bones its
// node's mesh has, which decides whether an animation can attach at all.
#pragma once

#include <cstdint>

namespace Nyx {

class Particle;
class RenderKernel;

class SkeletonModifier {
public:
    SkeletonModifier(Particle* node, RenderKernel* kernel, uint32_t boneCount = 0)
        : node_(node), kernel_(kernel), boneCount_(boneCount)
    {
    }
    SkeletonModifier(const SkeletonModifier&) = delete;
    SkeletonModifier& operator=(const SkeletonModifier&) = delete;
    virtual ~SkeletonModifier() = default;

    Particle* GetNode() const noexcept { return node_; }
    RenderKernel* GetRenderKernel() const noexcept { return kernel_; }
    uint32_t GetBoneCount() const noexcept { return boneCount_; }
    bool HasSkeleton() const noexcept { return boneCount_ > 0; }

private:
    Particle* node_;
    RenderKernel* kernel_;
    uint32_t boneCount_;
};

}  // namespace Nyx
