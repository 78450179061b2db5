#include "nyx/scene/LightTarget.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/scene/ParallelLight.h"

namespace Nyx {

void LightTarget::UpdateLighting(Display& display, ViewPoint& view, const Transform& transform, bool force)
{
    if (updateLighting_ || force)
        CalculateLighting(display, view, transform, 0, nullptr, nullptr);
    updateLighting_ = false;
}

void LightTarget::CalculateLighting(Display& display, ViewPoint& /*view*/, const Transform& /*transform*/,
                                    uint32_t chunkCount, GeometryChunk* const* /*chunks*/,
                                    Material* const* /*materials*/)
{
    // The light every chunk gets: the sum of the lights' diffuse colours.
    Colour sum{0, 0, 0, 1};
    for (const ParallelLight* light : lights_) {
        sum.r += light->GetDiffuse().r;
        sum.g += light->GetDiffuse().g;
        sum.b += light->GetDiffuse().b;
    }
    display.Note("CalculateLighting", {static_cast<float>(chunkCount), static_cast<float>(lights_.size()), sum.r,
                                       sum.g, sum.b});
}

void LightTarget::RenderLightTarget(Display& display)
{
    display.Note("RenderLightTarget", {static_cast<float>(lights_.size())});
}

}  // namespace Nyx
