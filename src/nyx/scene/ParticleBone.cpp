#include "nyx/scene/ParticleBone.h"

#include <memory>
#include <utility>
#include <vector>

namespace Nyx {

ParticleBone::~ParticleBone()
{
    // Bones are deleted without recursion, so that a deep chain cannot run
    // out of stack: each bone's children are unlinked before it goes. Other
    // particles hung on a bone belong to whoever put them there.
    std::vector<Particle*> pending{this};
    while (!pending.empty()) {
        Particle* p = pending.back();
        pending.pop_back();
        std::vector<Particle*> below(p->GetChildren().begin(), p->GetChildren().end());
        for (Particle* child : below) {
            p->RemoveChild(child);
            if (dynamic_cast<ParticleBone*>(child))
                pending.push_back(child);
        }
        if (p != this)
            delete p;
    }
}

ParticleBone* ParticleBone::CreateInstance() const
{
    const auto copyOne = [](const ParticleBone& from) {
        auto* bone = new ParticleBone;
        bone->name_ = from.name_;
        bone->framePosition_ = from.framePosition_;
        bone->frameOrientation_ = from.frameOrientation_;
        bone->SetFlags(from.GetFlags());
        bone->SetReferenceFrame(from.GetPosition(), from.GetOrientation());
        if (from.volume_)
            bone->volume_ = std::make_unique<ParticleVisibleBoundingBox>(*from.volume_);
        return bone;
    };
    // Without recursion, like the destructor: a deep chain is copied too.
    ParticleBone* root = copyOne(*this);
    std::vector<std::pair<const ParticleBone*, ParticleBone*>> pending{{this, root}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        for (const Particle* child : from->GetChildren())
            if (const auto* bone = dynamic_cast<const ParticleBone*>(child)) {
                ParticleBone* copy = copyOne(*bone);
                to->Add(copy);
                pending.emplace_back(bone, copy);
            }
    }
    return root;
}

ParticleBone* ParticleBone::Find(const PString& name) noexcept
{
    std::vector<Particle*> pending{this};
    while (!pending.empty()) {
        Particle* p = pending.back();
        pending.pop_back();
        auto* bone = dynamic_cast<ParticleBone*>(p);
        if (bone && bone->name_ == name)
            return bone;
        for (auto it = p->GetChildren().rbegin(); it != p->GetChildren().rend(); ++it)
            pending.push_back(*it);
    }
    return nullptr;
}

uint32_t ParticleBone::CountBones() const noexcept
{
    uint32_t n = 0;
    std::vector<const Particle*> pending{this};
    while (!pending.empty()) {
        const Particle* p = pending.back();
        pending.pop_back();
        if (dynamic_cast<const ParticleBone*>(p))
            ++n;
        for (const Particle* child : p->GetChildren())
            pending.push_back(child);
    }
    return n;
}

}  // namespace Nyx
