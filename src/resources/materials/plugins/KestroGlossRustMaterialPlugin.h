// The gloss-rust plug-in ("tglossrust"): the engine's one-texture plug-in
// that also makes the four stage set-ups every gloss-rust material draws
// with (gloss stages 0 and 1, rust stages 0 and 1), on the first material
// that reaches a display with a render device.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/gfx/textures/TextureArgs.h"

namespace Nyx {

class KestroGlossRustMaterialPlugin : public OneTextureMaterialPlugin {
public:
    static constexpr std::string_view kTypeName = "tglossrust";
    static constexpr std::string_view kUId = "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712";
    static constexpr uint32_t kSetupCount = 4;
    // Colour and alpha record of each set-up, in handle order.
    static const TextureArgs kSetupArgs[kSetupCount][2];

    KestroGlossRustMaterialPlugin();
    ~KestroGlossRustMaterialPlugin() override;

    bool IsSupported(Display& display, PString& fallback) override;
    // Null when the plug-in's resources cannot be made.
    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using OneTextureMaterialPlugin::CreateInstance;
    // The engine base's resources, then the four set-ups in handle order;
    // a set-up that cannot be made gives back every one made before it.
    bool CreatePluginResources(RenderKernel* kernel);

    uint32_t GetSetupCount() const noexcept { return setupCount_; }
    TextureStageSetup* const* GetSetups() const noexcept { return setups_; }

private:
    void ReleaseSetups();

    uint32_t setupCount_ = 0;
    RenderDevice* device_ = nullptr;
    TextureStageSetup* setups_[kSetupCount] = {};
};

}  // namespace Nyx
