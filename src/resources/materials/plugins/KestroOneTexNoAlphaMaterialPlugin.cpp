#include "resources/materials/plugins/KestroOneTexNoAlphaMaterialPlugin.h"

#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "resources/materials/onetex/KestroOneTexNoAlphaMaterial.h"

namespace Nyx {

KestroOneTexNoAlphaMaterialPlugin::KestroOneTexNoAlphaMaterialPlugin()
    : OneTextureMaterialPlugin(PString(kTypeName), UId(kUId))
{
}

KestroOneTexNoAlphaMaterialPlugin::~KestroOneTexNoAlphaMaterialPlugin()
{
    if (setup_ && device_)
        device_->ReleaseTextureStageSetup(setup_);
}

const TextureArgs& KestroOneTexNoAlphaMaterialPlugin::ColourArgs()
{
    static const TextureArgs args(0, 2, 0, 1, {0, 0, 0}, {0, 0, 2}, TextureArgs::kUnused, TextureArgs::kUnused);
    return args;
}

const TextureArgs& KestroOneTexNoAlphaMaterialPlugin::AlphaArgs()
{
    static const TextureArgs args(0, 1, 1, 0, {0, 1, 0}, TextureArgs::kUnused, TextureArgs::kUnused,
                                  TextureArgs::kUnused);
    return args;
}

bool KestroOneTexNoAlphaMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    const bool base = OneTextureMaterialPlugin::CreatePluginResources(kernel);
    RenderDevice* device = kernel ? kernel->GetDisplay().FindRenderDevice() : nullptr;
    if (!device)
        return false;
    if (!setup_) {
        device_ = device;
        setup_ = device->CreateTextureStageSetup(0, ColourArgs(), AlphaArgs());
    }
    return base && setup_;
}

Material* KestroOneTexNoAlphaMaterialPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    // A material made without the set-up draws all the same.
    CreatePluginResources(kernel);
    auto* material = new (std::nothrow)
        KestroOneTexNoAlphaMaterial(manager, GetChunkCache(), GetMaskCache(), GetBlendCache(), setup_);
    if (!material)
        return nullptr;
    material->Assign(this);
    return material;
}

}  // namespace Nyx
