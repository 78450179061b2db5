#include "nyx/gfx/materials/MaterialPlugin.h"

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/materials/MaterialCaches.h"
#include "nyx/gfx/materials/MaterialManager.h"

namespace Nyx {

MaterialPlugin::MaterialPlugin(const PString& typeName, const UId& typeId)
    : PluginType(typeName, typeId, UId(kMaterialPluginFamily))
{
    token_ = MaterialManager::RegisterPlugin(typeName.View(), this);
}

MaterialPlugin::~MaterialPlugin() { MaterialManager::UnregisterType(token_); }

bool MaterialPlugin::IsSupported(Display& /*display*/, PString& /*fallback*/) { return true; }

template <class Cache>
Cache* MaterialPlugin::FindOrCreateCache(RenderKernel& kernel, uint32_t id)
{
    RenderingCacheManager& caches = kernel.GetRenderingCacheManager();
    if (RenderingCache* found = caches.FindCache(id)) {
        auto* cache = dynamic_cast<Cache*>(found);
        if (cache)
            cache->AddRef();
        return cache;
    }
    auto* cache = new Cache;
    cache->AddRef();
    caches.AddCache(cache);
    return cache;
}

template AlphaBlendCache* MaterialPlugin::FindOrCreateCache<AlphaBlendCache>(RenderKernel&, uint32_t);
template AlphaMaskCache* MaterialPlugin::FindOrCreateCache<AlphaMaskCache>(RenderKernel&, uint32_t);
template MaterialChunkCache* MaterialPlugin::FindOrCreateCache<MaterialChunkCache>(RenderKernel&, uint32_t);

OneTextureMaterialPlugin::~OneTextureMaterialPlugin()
{
    for (RenderingCache* cache : {blendCache_, chunkCache_, maskCache_})
        if (cache)
            cache->Release();
    if (stageSetup_ && device_)
        device_->ReleaseTextureStageSetup(stageSetup_);
    else if (stageSetup_)
        stageSetup_->Release();
}

bool OneTextureMaterialPlugin::IsSupported(Display& /*display*/, PString& /*fallback*/) { return true; }

bool OneTextureMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    if (!kernel)
        return false;
    if (!blendCache_)
        blendCache_ = FindOrCreateCache<AlphaBlendCache>(*kernel, AlphaBlendCache::AlphaBlendCacheID);
    if (!maskCache_)
        maskCache_ = FindOrCreateCache<AlphaMaskCache>(*kernel, AlphaMaskCache::AlphaMaskCacheID);
    if (!chunkCache_)
        chunkCache_ = FindOrCreateCache<MaterialChunkCache>(*kernel, MaterialChunkCache::MaterialChunkCacheID);
    if (!stageSetup_) {
        device_ = &kernel->GetDisplay().GetRenderDevice();
        stageSetup_ = device_->CreateTextureStageSetup(0);
    }
    return blendCache_ && maskCache_ && chunkCache_;
}

Material* OneTextureMaterialPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    CreatePluginResources(kernel);
    auto* material = new OneTextureMaterial(GetName(), manager, chunkCache_, maskCache_, blendCache_);
    material->SetStageSetup(stageSetup_);
    material->Assign(this);
    return material;
}

}  // namespace Nyx
