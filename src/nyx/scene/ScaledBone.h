// A skeleton node of type 23: a bone that may carry a scale along its own
// axes, which skinned meshes apply to the vertices it moves (unless the
// scale is switched off). Its children are not scaled by it.
#pragma once

#include "nyx/scene/ParticleBone.h"

namespace Nyx {

class ScaledBone : public ParticleBone {
public:
    static constexpr uint32_t kType = 23;

    uint32_t GetType() const noexcept override { return kType; }
    void SetScale(const Vector3f& scale) noexcept { scale_ = scale; }
    const Vector3f& GetScale() const noexcept { return scale_; }
    void SetScaleDisabled(bool disabled) noexcept { scaleDisabled_ = disabled; }
    bool IsScaleDisabled() const noexcept { return scaleDisabled_; }

private:
    Vector3f scale_{1.0f, 1.0f, 1.0f};
    bool scaleDisabled_ = false;
};

}  // namespace Nyx
