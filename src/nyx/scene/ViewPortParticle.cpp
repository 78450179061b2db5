#include "nyx/scene/ViewPortParticle.h"

#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"

namespace Nyx {

Particle* ViewPortParticle::FindByName(Particle* root, const PString& name)
{
    if (!root)
        return nullptr;
    if (const auto* p = dynamic_cast<const ViewPortParticle*>(root); p && p->GetName() == name)
        return root;
    if (const auto* b = dynamic_cast<const ParticleBone*>(root); b && b->GetName() == name)
        return root;
    for (Particle* child : root->GetChildren())
        if (Particle* found = FindByName(child, name))
            return found;
    return nullptr;
}

Transform ViewPortParticle::GetGlobalTransform() const
{
    Vector3f position;
    Quaternion orientation;
    GetGlobalFrame(position, orientation);
    return Transform::FromFrame(position, orientation);
}

void ViewPortParticle::GetGlobalBoundingSphere(Sphere& sphere) const
{
    const Transform t = GetGlobalTransform();
    if (!volume_) {
        sphere = {t.position, 0.0f};
        return;
    }
    sphere = {t.Apply(volume_->GetCentre()), volume_->GetHalfSize().Length()};
}

bool ViewPortParticle::Cull(ViewPoint& view)
{
    lastCulled_ = view.GetFrameNumber();
    if (volume_) {
        Sphere sphere;
        GetGlobalBoundingSphere(sphere);
        if (!view.GetCamera().IsVisible(sphere))
            return false;
    }
    frameMark_ = view.GetFrameNumber();
    // Culling may not change the child list; copy it first all the same.
    const std::vector<Particle*> children = GetChildren();
    for (Particle* child : children)
        if (auto* p = dynamic_cast<ViewPortParticle*>(child))
            p->Cull(view);
    return true;
}

void ViewPortParticle::InitInstance(const ViewPortParticle& from)
{
    name_ = from.name_;
    volume_ = from.volume_;
    opacity_ = from.opacity_;
    SetFlags(from.GetFlags());
    SetReferenceFrame(from.GetPosition(), from.GetOrientation());
}

ViewPortParticle* ViewPortParticle::CreateInstance() const
{
    auto* copy = new ViewPortParticle;
    copy->InitInstance(*this);
    for (const Particle* child : GetChildren())
        if (const auto* p = dynamic_cast<const ViewPortParticle*>(child))
            copy->AddChild(p->CreateInstance());
    return copy;
}

}  // namespace Nyx
