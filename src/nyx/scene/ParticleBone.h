// Bones of a skeleton: named particles with a frame and a small visible
// box. A bone owns the bones added below it and deletes them with itself.
#pragma once

#include <memory>

#include "nyx/base/PString.h"
#include "nyx/scene/math/OrientedBox.h"
#include "nyx/scene/Particle.h"

namespace Nyx {

// The box a particle is seen (and picked) by.
class ParticleVisibleBoundingBox {
public:
    explicit ParticleVisibleBoundingBox(const AxisAlignedBox& box) : box_(box) {}
    const AxisAlignedBox& GetBox() const noexcept { return box_; }

private:
    AxisAlignedBox box_;
};

class ParticleBone : public Particle {
public:
    ParticleBone() = default;
    // Deletes every bone below it.
    ~ParticleBone() override;

    void SetName(const PString& name) { name_ = name; }
    const PString& GetName() const noexcept { return name_; }

    // The bone's rest frame, relative to its parent bone.
    void SetFramePosition(const Vector3f& p) noexcept { framePosition_ = p; }
    void SetFrameOrientation(const Quaternion& q) noexcept { frameOrientation_ = q; }
    const Vector3f& GetFramePosition() const noexcept { return framePosition_; }
    const Quaternion& GetFrameOrientation() const noexcept { return frameOrientation_; }

    void SetBoundingVolume(std::unique_ptr<ParticleVisibleBoundingBox> volume) noexcept { volume_ = std::move(volume); }
    const ParticleVisibleBoundingBox* GetBoundingVolume() const noexcept { return volume_.get(); }

    // Takes the bone as a child (and its ownership); false, and nothing
    // taken, when it would not stay a tree.
    bool Add(ParticleBone* child) { return AddChild(child); }
    // The first bone of the name in this bone's subtree (itself included).
    ParticleBone* Find(const PString& name) noexcept;
    // Bones in this subtree, itself included.
    uint32_t CountBones() const noexcept;
    // A copy of this bone and the bones below it (names, frames, flags and
    // boxes); the caller owns it. Other particles hung on bones stay behind.
    ParticleBone* CreateInstance() const;

private:
    PString name_;
    Vector3f framePosition_;
    Quaternion frameOrientation_;
    std::unique_ptr<ParticleVisibleBoundingBox> volume_;
};

}  // namespace Nyx
