#include "resources/materials/plugins/KestroMultiPFXMaterialPlugin.h"

#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialCaches.h"
#include "resources/materials/multipfx/KestroMultiPFXMaterial.h"

namespace Nyx {

namespace {

constexpr TexArg kNone = TextureArgs::kUnused;
constexpr std::string_view kOneTextureType = "onetex";

}  // namespace

const TextureArgs KestroMultiPFXMaterialPlugin::kSetupArgs[2][2] = {
    {{0, 2, 0, 1, {0, 0, 2}, {0, 0, 0}, kNone, kNone}, {0, 1, 1, 1, {0, 1, 2}, {0, 1, 0}, kNone, kNone}},
    {{1, 1, 0, 0, {0, 0, 0}, kNone, kNone, kNone}, {1, 1, 1, 1, {0, 1, 0}, {0, 1, 2}, kNone, kNone}},
};

KestroMultiPFXMaterialPlugin::KestroMultiPFXMaterialPlugin() : MaterialPlugin(PString(kTypeName), UId(kUId)) {}

KestroMultiPFXMaterialPlugin::~KestroMultiPFXMaterialPlugin()
{
    for (RenderingCache* cache : {chunkCache_, maskCache_, blendCache_})
        if (cache)
            cache->Release();
    for (TextureStageSetup* setup : setups_)
        if (setup && device_)
            device_->ReleaseTextureStageSetup(setup);
}

bool KestroMultiPFXMaterialPlugin::IsSupported(Display& display, PString& fallback)
{
    if (display.GetStageCount() >= 2)
        return true;
    fallback = PString(kOneTextureType);
    return false;
}

bool KestroMultiPFXMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    if (!kernel)
        return true;
    if (!chunkCache_)
        chunkCache_ = FindOrCreateCache<MaterialChunkCache>(*kernel, MaterialChunkCache::MaterialChunkCacheID);
    if (!maskCache_)
        maskCache_ = FindOrCreateCache<AlphaMaskCache>(*kernel, AlphaMaskCache::AlphaMaskCacheID);
    if (!blendCache_)
        blendCache_ = FindOrCreateCache<AlphaBlendCache>(*kernel, AlphaBlendCache::AlphaBlendCacheID);
    if (setups_[0])
        return true;
    RenderDevice* device = kernel->GetDisplay().FindRenderDevice();
    if (!device)
        return false;
    device_ = device;
    setups_[0] = device->CreateTextureStageSetup(0, kSetupArgs[0][0], kSetupArgs[0][1]);
    if (!setups_[0])
        return false;
    setups_[1] = device->CreateTextureStageSetup(1, kSetupArgs[1][0], kSetupArgs[1][1]);
    if (!setups_[1]) {
        device->ReleaseTextureStageSetup(setups_[0]);
        setups_[0] = nullptr;
        return false;
    }
    return true;
}

Material* KestroMultiPFXMaterialPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel))
        return nullptr;
    auto* material = new (std::nothrow) KestroMultiPFXMaterial(manager, chunkCache_, maskCache_, blendCache_,
                                                               setups_[0], setups_[1]);
    if (!material)
        return nullptr;
    material->Assign(this);
    return material;
}

}  // namespace Nyx
