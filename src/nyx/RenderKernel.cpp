#include "nyx/RenderKernel.h"

#include <strings.h>

#include "nyx/base/OS.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/scene/SceneGraph.h"

namespace Nyx {

RenderKernel::RenderKernel(SceneGraph* sceneGraph, float version)
    : ownSceneGraph_(sceneGraph ? nullptr : new SceneGraph), sceneGraph_(sceneGraph ? sceneGraph : ownSceneGraph_.get()),
      display_(new Display), materials_(new MaterialManager), sharedTextures_(new SharedTextureCollection),
      version_(version)
{
    materials_->SetRenderKernel(this);
    Texture* white = new Texture(PString("white"));
    sharedTextures_->AddTexture(white);
}

// Members go in reverse order: the textures and materials before the display
// whose caches they may use, the scene graph last.
RenderKernel::~RenderKernel() = default;

RenderingCacheManager& RenderKernel::GetRenderingCacheManager() const noexcept
{
    return display_->GetRenderingCacheManager();
}

bool RenderKernel::Init(OS* os, void* /*displaySelector*/)
{
    if (!os || !os->IsInitialised())
        return false;
    os_ = os;
    nullRender_ = false;
    const std::string& options = os->GetOptions();
    size_t pos = 0;
    while (pos < options.size()) {
        size_t end = options.find(' ', pos);
        if (end == std::string::npos)
            end = options.size();
        if (end - pos == 11 && ::strncasecmp(options.c_str() + pos, "-NullRender", 11) == 0)
            nullRender_ = true;
        pos = end + 1;
    }
    initialised_ = true;
    return true;
}

}  // namespace Nyx
