// A node of the engine's scene: a particle with a parent, children, flag
// bits and a reference frame (position and orientation relative to its
// parent). The tool draws nothing; the tree, the flags and the frames are
// what the validation library's preview scene and the meshes it loads rely
// on.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

class Particle {
public:
    // Only particles with this bit set take part in drawing and lighting:
    // the one shown mesh, a light that shines.
    static constexpr uint32_t kFlagActive = 1u << 2;
    // The mark level-of-detail culling sets on what lies beyond a cut-off
    // (attachment points, bone trees that stop animating).
    static constexpr uint32_t kFlagCutOff = 1u << 3;

    Particle() = default;
    Particle(const Particle&) = delete;
    Particle& operator=(const Particle&) = delete;
    // Leaves its parent; its children stay alive, without a parent.
    virtual ~Particle();

    // Moves the child under this particle (away from any other parent),
    // at the end of the child list. Null, this particle itself and one of
    // its ancestors are refused: the tree stays a tree.
    bool AddChild(Particle* child);
    // False when the particle is not a child of this one.
    bool RemoveChild(Particle* child);
    // Leaves the parent, when there is one.
    void Unlink();

    Particle* GetParent() const noexcept { return parent_; }
    const std::vector<Particle*>& GetChildren() const noexcept { return children_; }
    bool IsAncestorOf(const Particle* other) const noexcept;
    // The engine's node type; 0 for plain particles (see ScaledBone).
    virtual uint32_t GetType() const noexcept { return 0; }

    uint32_t GetFlags() const noexcept { return flags_; }
    void SetFlags(uint32_t flags) noexcept { flags_ = flags; }
    void SetFlag(uint32_t bits) noexcept { flags_ |= bits; }
    void ClearFlag(uint32_t bits) noexcept { flags_ &= ~bits; }
    bool HasFlag(uint32_t bits) const noexcept { return (flags_ & bits) == bits; }

    void SetReferenceFrame(const Vector3f& position, const Quaternion& orientation) noexcept
    {
        position_ = position;
        orientation_ = orientation;
    }
    const Vector3f& GetPosition() const noexcept { return position_; }
    const Quaternion& GetOrientation() const noexcept { return orientation_; }
    // The frame of this particle in the scene: its own composed with its
    // ancestors'.
    void GetGlobalFrame(Vector3f& position, Quaternion& orientation) const noexcept;
    // Turns a frame given in the scene into one relative to this particle.
    void GlobalToLocal(Vector3f& position, Quaternion& orientation) const noexcept;

private:
    Particle* parent_ = nullptr;
    std::vector<Particle*> children_;
    uint32_t flags_ = 0;
    Vector3f position_;
    Quaternion orientation_;
};

}  // namespace Nyx
