// The drawing operations every material shares: the headless display
// records what they set and draw.
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/textures/Texture.h"

namespace Nyx {

void Material::SetLightingState(Display& display, const Transform& /*view*/, GeometryChunk& /*chunk*/,
                                uint32_t /*program*/, const std::vector<ParallelLight*>& lights,
                                const Transform& /*transform*/, float opacity, bool enable)
{
    display.SetLightingState(enable, static_cast<uint32_t>(lights.size()), opacity);
}

void Material::SetLightingState(Display& display, const ViewPoint* /*viewport*/, GeometryChunk& /*chunk*/,
                                uint32_t program, const std::vector<const DisplayLight*>* lights,
                                const Matrix4& /*world*/, float scale)
{
    display.SetMaterialLighting(display_, lights ? static_cast<uint32_t>(lights->size()) : 0, scale, program);
}

void Material::RenderChunk(Display& display, ViewPoint& /*view*/, GeometryChunk& chunk, LightTarget* /*lights*/,
                           const RenderState& state)
{
    display.SetTransform(state.transform);
    display.DrawChunk(chunk, this);
}

void Material::CopyStateTo(Material& to) const
{
    to.requestName_ = requestName_;
    to.display_ = display_;
    to.flags_ = flags_;
    to.float_ = float_;
    to.properties_ = properties_;
    to.textureFiles_ = textureFiles_;
    to.wantedMipLevel_ = wantedMipLevel_;
    to.sourceBlend_ = sourceBlend_;
    to.destinationBlend_ = destinationBlend_;
    to.alphaHint_ = alphaHint_;
    to.priority_ = priority_;
    to.lightingScale_ = lightingScale_;
    to.manager_ = manager_;
}

Material* Material::Duplicate() const
{
    auto* copy = new Material(name_, type_);
    CopyStateTo(*copy);
    copy->AddRef();
    return copy;
}

Material* OneTextureMaterial::Duplicate() const
{
    auto* copy = new OneTextureMaterial(GetName(), GetType());
    CopyStateTo(*copy);
    if (texture_)
        copy->SetTexture(texture_, slot_, weight_);
    copy->AddRef();
    return copy;
}

Texture* OneTextureMaterial::FindTexture(const PString& name) const
{
    return texture_ && texture_->GetName() == name ? texture_ : nullptr;
}

}  // namespace Nyx
