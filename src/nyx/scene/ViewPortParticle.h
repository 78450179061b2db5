// The particle that takes part in drawing a view: named, with a bounding
// volume, culled against a view's frustum, marked with the frames it was
// seen in, drawn, copied, and asked about collisions.
#pragma once

#include <cstdint>
#include <optional>

#include "nyx/base/PString.h"
#include "nyx/scene/Camera.h"
#include "nyx/scene/Geometry.h"
#include "nyx/scene/math/OrientedBox.h"
#include "nyx/scene/Particle.h"

namespace Nyx {

class Display;
class Ray;
class ViewPoint;

class ViewPortParticle : public Particle {
public:
    ViewPortParticle() = default;
    ~ViewPortParticle() override = default;

    void SetName(const PString& name) { name_ = name; }
    const PString& GetName() const noexcept { return name_; }
    // The first particle of that name below `root` (root included), by a
    // depth-first walk; named particles are view-port particles and bones.
    static Particle* FindByName(Particle* root, const PString& name);

    // The volume the particle is culled by; none culls nothing away.
    void SetBoundingVolume(const OrientedBox& box) { volume_ = box; }
    const std::optional<OrientedBox>& GetBoundingVolume() const noexcept { return volume_; }
    // The volume's sphere placed in the scene (radius 0 at the particle's
    // origin without a volume).
    void GetGlobalBoundingSphere(Sphere& sphere) const;

    // The frame number of the last pass that found the particle visible,
    // and of the last that culled it at all.
    uint32_t GetFrameMark() const noexcept { return frameMark_; }
    uint32_t GetLastCulledFrame() const noexcept { return lastCulled_; }
    // Overrides what the last pass found: 0 counts as never seen.
    void SetFrameMark(uint32_t frame) noexcept { frameMark_ = frame; }
    // The particle's transform in the scene.
    Transform GetGlobalTransform() const;

    // Tests the particle against the view's frustum; a visible one is
    // marked with the frame and its children are culled in turn. True when
    // visible.
    virtual bool Cull(ViewPoint& view);
    virtual void Render(Display& /*display*/, ViewPoint& /*view*/) {}
    // A copy of the particle and, depth first, of the view-port particles
    // below it; the caller owns it (and they are its children).
    virtual ViewPortParticle* CreateInstance() const;
    virtual uint32_t GetID() const { return 0; }
    virtual float GetOpacity() const { return opacity_; }
    virtual void SetOpacity(float opacity) { opacity_ = opacity; }
    virtual bool TestCollisionGeometry(const Ray& /*ray*/, float& /*nearest*/, FaceReference& /*face*/)
    {
        return false;
    }

protected:
    // Takes the particle state of another: name, frame, flags, volume and
    // opacity (not its place in the tree).
    void InitInstance(const ViewPortParticle& from);

private:
    PString name_;
    std::optional<OrientedBox> volume_;
    uint32_t frameMark_ = 0;
    uint32_t lastCulled_ = 0;
    float opacity_ = 1.0f;
};

}  // namespace Nyx
