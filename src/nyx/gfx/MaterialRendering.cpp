// The drawing operations every material shares: the headless display
// records what they set and draw.
#include "nyx/gfx/Display.h"
#include "nyx/gfx/GeometryChunk.h"
#include "nyx/gfx/Material.h"
#include "nyx/gfx/Texture.h"

namespace Nyx {

void Material::SetLightingState(Display& display, const Transform& /*view*/, GeometryChunk& /*chunk*/,
                                uint32_t /*program*/, const std::vector<ParallelLight*>& lights,
                                const Transform& /*transform*/, float opacity, bool enable)
{
    display.SetLightingState(enable, static_cast<uint32_t>(lights.size()), opacity);
}

void Material::RenderChunk(Display& display, ViewPoint& /*view*/, GeometryChunk& chunk, LightTarget* /*lights*/,
                           const RenderState& state)
{
    display.SetTransform(state.transform);
    display.DrawChunk(chunk, this);
}

Texture* OneTextureMaterial::FindTexture(const PString& name) const
{
    return texture_ && texture_->GetName() == name ? texture_ : nullptr;
}

}  // namespace Nyx
