#include "nyx/scene/AttachmentPoint.h"

#include "nyx/scene/ParticleBone.h"

namespace Nyx {

void AttachmentPoint::GetSubNames(const PString& name, PString& first, PString& second)
{
    const std::string_view text = name.View();
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        first = name;
        second = PString();
        return;
    }
    first = PString(text.substr(0, dot));
    second = PString(text.substr(dot + 1));
}

ParticleStructure::~ParticleStructure()
{
    for (AttachmentPoint* point : points_)
        delete point;
    for (ReferencePoint* point : referencePoints_)
        delete point;
}

void ParticleStructure::AddReferencePoint(ReferencePoint* point)
{
    if (point && AddChild(point))
        referencePoints_.push_back(point);
}

bool ParticleStructure::AddAttachmentPoint(AttachmentPoint* point, bool onBone)
{
    if (!point)
        return false;
    if (onBone) {
        ParticleBone* bone = skeleton_ ? skeleton_->Find(point->GetSecondName()) : nullptr;
        if (!bone || !bone->AddChild(point))
            return false;
    } else if (!AddChild(point)) {
        return false;
    }
    points_.push_back(point);
    return true;
}

void ParticleStructure::AdoptPoint(AttachmentPoint* point)
{
    if (point && AddChild(point))
        points_.push_back(point);
}

}  // namespace Nyx
