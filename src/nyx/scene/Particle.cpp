#include "nyx/scene/Particle.h"

#include <algorithm>

namespace Nyx {

Particle::~Particle()
{
    Unlink();
    for (Particle* child : children_)
        child->parent_ = nullptr;
}

bool Particle::IsAncestorOf(const Particle* other) const noexcept
{
    for (const Particle* p = other ? other->parent_ : nullptr; p; p = p->parent_)
        if (p == this)
            return true;
    return false;
}

bool Particle::AddChild(Particle* child)
{
    if (!child || child == this || child->IsAncestorOf(this))
        return false;
    child->Unlink();
    child->parent_ = this;
    children_.push_back(child);
    return true;
}

bool Particle::RemoveChild(Particle* child)
{
    auto it = std::find(children_.begin(), children_.end(), child);
    if (!child || it == children_.end())
        return false;
    children_.erase(it);
    child->parent_ = nullptr;
    return true;
}

void Particle::GetGlobalFrame(Vector3f& position, Quaternion& orientation) const noexcept
{
    position = position_;
    orientation = orientation_;
    for (const Particle* p = parent_; p; p = p->parent_) {
        position = p->position_ + p->orientation_.Rotate(position);
        orientation = p->orientation_ * orientation;
    }
}

void Particle::GlobalToLocal(Vector3f& position, Quaternion& orientation) const noexcept
{
    Vector3f at;
    Quaternion turn;
    GetGlobalFrame(at, turn);
    const Quaternion back = turn.Conjugate();
    position = back.Rotate(position - at);
    orientation = back * orientation;
}

void Particle::Unlink()
{
    if (parent_)
        parent_->RemoveChild(this);
}

}  // namespace Nyx
