#include "resources/materials/plugins/KestroGlossRustMaterialPlugin.h"

#include <new>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "resources/materials/glossrust/KestroGlossRustMaterial.h"

namespace Nyx {

namespace {

constexpr TexArg kNone = TextureArgs::kUnused;
// The engine's one-texture material type word, made instead on a display
// that cannot blend with stage constants.
constexpr std::string_view kOneTextureType = "onetex";

}  // namespace

const TextureArgs KestroGlossRustMaterialPlugin::kSetupArgs[kSetupCount][2] = {
    {{0, 2, 0, 1, {0, 0, 0}, {0, 0, 2}, kNone, kNone}, {0, 1, 1, 0, {0, 1, 0}, kNone, kNone, kNone}},
    {{1, 1, 0, 7, {0, 0, 2}, {0, 0, 0}, {0, 0, 3}, kNone}, {1, 1, 1, 0, {0, 1, 1}, kNone, kNone, kNone}},
    {{0, 2, 0, 1, {0, 0, 0}, {0, 0, 2}, kNone, kNone}, {0, 1, 1, 1, {1, 1, 2}, {0, 1, 3}, kNone, kNone}},
    {{1, 1, 0, 7, {0, 0, 3}, {0, 0, 0}, {0, 1, 0}, kNone}, {1, 1, 1, 0, {0, 1, 1}, kNone, kNone, kNone}},
};

KestroGlossRustMaterialPlugin::KestroGlossRustMaterialPlugin()
    : OneTextureMaterialPlugin(PString(kTypeName), UId(kUId))
{
}

KestroGlossRustMaterialPlugin::~KestroGlossRustMaterialPlugin() { ReleaseSetups(); }

void KestroGlossRustMaterialPlugin::ReleaseSetups()
{
    for (uint32_t i = 0; i < setupCount_; ++i) {
        if (device_)
            device_->ReleaseTextureStageSetup(setups_[i]);
        setups_[i] = nullptr;
    }
    setupCount_ = 0;
}

bool KestroGlossRustMaterialPlugin::IsSupported(Display& display, PString& fallback)
{
    if (display.QueryCapability(DisplayPipeline::kCapabilityStageConstants))
        return true;
    fallback = PString(kOneTextureType);
    return false;
}

bool KestroGlossRustMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    OneTextureMaterialPlugin::CreatePluginResources(kernel);
    RenderDevice* device = kernel ? kernel->GetDisplay().FindRenderDevice() : nullptr;
    if (!device)
        return false;
    if (setupCount_ != 0)
        return true;
    device_ = device;
    for (uint32_t i = 0; i < kSetupCount; ++i) {
        setups_[i] = device->CreateTextureStageSetup(kSetupArgs[i][0].stage, kSetupArgs[i][0], kSetupArgs[i][1]);
        if (!setups_[i]) {
            ReleaseSetups();
            return false;
        }
        ++setupCount_;
    }
    return true;
}

Material* KestroGlossRustMaterialPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel))
        return nullptr;
    auto* material = new (std::nothrow) KestroGlossRustMaterial(manager, GetChunkCache(), GetMaskCache(),
                                                                GetBlendCache(), setupCount_, setups_);
    if (!material)
        return nullptr;
    material->Assign(this);
    return material;
}

}  // namespace Nyx
