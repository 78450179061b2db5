// The one-texture-no-alpha plug-in ("tonetexnoalpha"): the engine's
// one-texture plug-in that also makes one stage-0 set-up for its materials
// once a display with a render device is there; materials are made either
// way.
#pragma once

#include <string_view>

#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/gfx/textures/TextureArgs.h"

namespace Nyx {

class KestroOneTexNoAlphaMaterialPlugin : public OneTextureMaterialPlugin {
public:
    static constexpr std::string_view kTypeName = "tonetexnoalpha";
    static constexpr std::string_view kUId = "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626";

    KestroOneTexNoAlphaMaterialPlugin();
    ~KestroOneTexNoAlphaMaterialPlugin() override;

    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using OneTextureMaterialPlugin::CreateInstance;
    // The engine base's resources, then the set-up when there is none yet;
    // false while either is missing.
    bool CreatePluginResources(RenderKernel* kernel);

    // The set-up's colour and alpha records, made on first use.
    static const TextureArgs& ColourArgs();
    static const TextureArgs& AlphaArgs();
    TextureStageSetup* GetSetupHandle() const noexcept { return setup_; }

private:
    TextureStageSetup* setup_ = nullptr;
    RenderDevice* device_ = nullptr;
};

}  // namespace Nyx
