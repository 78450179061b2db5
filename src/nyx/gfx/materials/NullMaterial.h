// The material a mesh makes for itself when no material manager is at hand:
// it draws nothing of its own but keeps the type its name asked for, so the
// mesh can still be read, compared and saved.
#pragma once

#include "nyx/gfx/materials/Material.h"

namespace Nyx {

class NullMaterial : public Material {
public:
    NullMaterial(const PString& name, const PString& type) : Material(name, type) {}

    // The type word the name carried, which no manager was there to serve.
    void SetCreationType(const PString& type) { creationType_ = type; }
    const PString& GetCreationType() const noexcept { return creationType_; }

private:
    PString creationType_;
};

}  // namespace Nyx
