// The multi-effect plug-in ("tmpfx"): shares the engine's material-chunk,
// alpha-mask and alpha-blend caches (found in, or added to, the kernel's
// cache manager) and makes the two stage set-ups of its materials on the
// first material that reaches a render device.
#pragma once

#include <string_view>

#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/gfx/textures/TextureArgs.h"

namespace Nyx {

class KestroMultiPFXMaterialPlugin : public MaterialPlugin {
public:
    static constexpr std::string_view kTypeName = "tmpfx";
    static constexpr std::string_view kUId = "643AFE90-426A-46EE-C19F-FFA0A471ABD7";
    // Colour and alpha record of set-ups 0 (stage 0) and 1 (stage 1).
    static const TextureArgs kSetupArgs[2][2];

    KestroMultiPFXMaterialPlugin();
    ~KestroMultiPFXMaterialPlugin() override;

    // Needs a second texture stage.
    bool IsSupported(Display& display, PString& fallback) override;
    // Null when the set-ups cannot be made; without a kernel the material
    // is made with neither caches nor set-ups.
    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using MaterialPlugin::CreateInstance;

    RenderingCache* GetChunkCache() const noexcept { return chunkCache_; }
    RenderingCache* GetMaskCache() const noexcept { return maskCache_; }
    RenderingCache* GetBlendCache() const noexcept { return blendCache_; }
    TextureStageSetup* GetSetup(uint32_t i) const noexcept { return i < 2 ? setups_[i] : nullptr; }

private:
    bool CreatePluginResources(RenderKernel* kernel);

    RenderingCache* chunkCache_ = nullptr;
    RenderingCache* maskCache_ = nullptr;
    RenderingCache* blendCache_ = nullptr;
    TextureStageSetup* setups_[2] = {};
    RenderDevice* device_ = nullptr;
};

}  // namespace Nyx
