#include "nyx/gfx/Material.h"

#include "nyx/gfx/Texture.h"

namespace Nyx {

OneTextureMaterial::~OneTextureMaterial()
{
    if (texture_)
        texture_->Release();
}

uint32_t OneTextureMaterial::SetTexture(Texture* texture, uint32_t slot, float weight)
{
    if (!texture)
        return kMissingTexture;
    texture->AddRef();
    if (texture_)
        texture_->Release();
    texture_ = texture;
    slot_ = slot;
    weight_ = weight;
    return kOk;
}

}  // namespace Nyx
