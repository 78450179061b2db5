#include "nyx/scene/ParticleBone.h"

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
