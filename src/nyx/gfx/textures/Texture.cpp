#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

uint32_t SharedTextureCollection::AddTexture(Texture* texture)
{
    if (!texture)
        return kNoIndex;
    texture->AddRef();
    textures_.push_back(texture);
    return static_cast<uint32_t>(textures_.size() - 1);
}

Texture* SharedTextureCollection::GetTexture(uint32_t index) const
{
    if (index >= textures_.size())
        return nullptr;
    textures_[index]->AddRef();
    return textures_[index];
}

void SharedTextureCollection::Clear()
{
    for (Texture* texture : textures_)
        texture->Release();
    textures_.clear();
}

}  // namespace Nyx

#include "nyx/gfx/display/Display.h"

namespace Nyx {

void Texture::BindToStage(Display& display, uint32_t stage) const { display.SetStageTexture(stage, this); }

Texture* Texture::Duplicate() const
{
    auto* copy = new Texture(name_);
    copy->width_ = width_;
    copy->height_ = height_;
    copy->format_ = format_;
    copy->loaded_ = loaded_;
    copy->priority_ = priority_;
    copy->kind_ = kind_;
    copy->AddRef();
    return copy;
}

}  // namespace Nyx
