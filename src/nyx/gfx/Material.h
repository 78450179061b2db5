// Engine materials: how a piece of geometry is drawn. A material is made by
// a material type (a plug-in) from a decorated name "<name>.m.<type>"; the
// engine's own types draw with at most one texture.
#pragma once

#include <cstdint>

#include "nyx/PString.h"
#include "nyx/ReferenceCount.h"

namespace Nyx {

class Texture;

class Material : public ReferenceCount {
public:
    // Results of the material operations.
    enum Result : uint32_t {
        kOk = 0,
        kUnsupported = 1,
        kMissingTexture = 3,
        kTextureNotLoaded = 4,
    };

    Material(const PString& name, const PString& type) : name_(name), type_(type) {}
    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;

    // The decorated name it was made from, and the type that made it.
    const PString& GetName() const noexcept { return name_; }
    const PString& GetType() const noexcept { return type_; }

    // Binds a texture to one of the material's texture slots, with a
    // weight. A material without texture slots takes none.
    virtual uint32_t SetTexture(Texture* /*texture*/, uint32_t /*slot*/, float /*weight*/) { return kUnsupported; }

private:
    PString name_;
    PString type_;
};

// A material drawn with one texture, which it holds a reference on.
class OneTextureMaterial : public Material {
public:
    using Material::Material;
    ~OneTextureMaterial() override;

    uint32_t SetTexture(Texture* texture, uint32_t slot, float weight) override;

    Texture* GetTexture() const noexcept { return texture_; }
    uint32_t GetTextureSlot() const noexcept { return slot_; }
    float GetTextureWeight() const noexcept { return weight_; }

private:
    Texture* texture_ = nullptr;
    uint32_t slot_ = 0;
    float weight_ = 0.0f;
};

}  // namespace Nyx
