#include "resources/materials/alpha/AlphaBlendCacheUnsorted.h"

#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"

namespace Nyx {

void AlphaBlendCacheUnsorted::Clear()
{
    chunks_.clear();
    materials_.clear();
    worlds_.clear();
    lights_.clear();
}

bool AlphaBlendCacheUnsorted::AddChunk(OneTextureMaterial& material, GeometryChunk& chunk,
                                       const DisplayLightList* lights, const Matrix4& world)
{
    chunks_.push_back(&chunk);
    materials_.push_back(&material);
    worlds_.push_back(world);
    lights_.push_back(lights);
    return true;
}

void AlphaBlendCacheUnsorted::RenderChunks(Display& display, ViewPoint* viewport)
{
    BeginPass(display);
    for (size_t i = 0; i < chunks_.size(); ++i)
        materials_[i]->RenderChunk(display, viewport, *chunks_[i], lights_[i], worlds_[i], -1);
    EndPass(display);
}

void AlphaBlendCacheUnsorted::BeginPass(Display& display)
{
    savedSource_ = display.GetSourceBlend();
    savedDestination_ = display.GetDestinationBlend();
    display.SetAlphaBlendFunction(source_, destination_);
    display.SetAlphaTestMode(false);
    display.SetAlphaBlendMode(true);
    display.SetDepthWriteMode(false);
}

void AlphaBlendCacheUnsorted::EndPass(Display& display)
{
    display.SetAlphaBlendFunction(savedSource_, savedDestination_);
    display.SetAlphaBlendMode(false);
    display.SetAlphaTestMode(false);
    display.SetDepthWriteMode(true);
}

}  // namespace Nyx
