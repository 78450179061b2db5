// Attachment points: named places on a mesh where other objects are hung.
// A name "<first>.<second>" carries two sub-names; the second names the
// bone the point rides on when the mesh has a skeleton.
#pragma once

#include <vector>

#include "nyx/base/PString.h"
#include "nyx/scene/Particle.h"
#include "nyx/scene/ReferencePoint.h"
#include "nyx/scene/ViewPortParticle.h"

namespace Nyx {

class ParticleBone;

class AttachmentPoint : public Particle {
public:
    AttachmentPoint(const PString& first, const PString& second) : first_(first), second_(second) {}

    // Splits at the first '.': "a.bone" gives "a" and "bone"; a name
    // without a dot gives itself and "".
    static void GetSubNames(const PString& name, PString& first, PString& second);

    const PString& GetFirstName() const noexcept { return first_; }
    const PString& GetSecondName() const noexcept { return second_; }

private:
    PString first_;
    PString second_;
};

// A scene object made of particles: a mesh instance with its attachment
// points and, for a skinned mesh, its skeleton (not owned).
class ParticleStructure : public ViewPortParticle {
public:
    ParticleStructure() = default;
    // Deletes the attachment points it was given.
    ~ParticleStructure() override;

    void SetSkeleton(ParticleBone* root) noexcept { skeleton_ = root; }
    ParticleBone* GetSkeleton() const noexcept { return skeleton_; }

    // Takes the point (and its ownership). With `onBone`, hangs it on the
    // skeleton's bone named by its second sub-name and fails, taking
    // nothing, when there is no such bone; else hangs it on the structure.
    bool AddAttachmentPoint(AttachmentPoint* point, bool onBone);
    // Takes a point that is hung as a plain child particle.
    void AdoptPoint(AttachmentPoint* point);
    const std::vector<AttachmentPoint*>& GetAttachmentPoints() const noexcept { return points_; }
    // Takes the point (and its ownership) and hangs it on the structure.
    void AddReferencePoint(ReferencePoint* point);
    const std::vector<ReferencePoint*>& GetReferencePoints() const noexcept { return referencePoints_; }

private:
    ParticleBone* skeleton_ = nullptr;
    std::vector<AttachmentPoint*> points_;
    std::vector<ReferencePoint*> referencePoints_;
};

}  // namespace Nyx
