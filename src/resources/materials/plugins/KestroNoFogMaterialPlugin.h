// The no-fog plug-in ("nofogtex"): the engine's one-texture plug-in making
// no-fog materials, which get the engine base's caches and stage set-up.
#pragma once

#include <string_view>

#include "nyx/gfx/materials/MaterialPlugin.h"

namespace Nyx {

class KestroNoFogMaterialPlugin : public OneTextureMaterialPlugin {
public:
    static constexpr std::string_view kTypeName = "nofogtex";
    static constexpr std::string_view kUId = "AB84944B-00A6-4a18-8BAF-4664E98075AA";

    KestroNoFogMaterialPlugin();

    Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;
    using OneTextureMaterialPlugin::CreateInstance;
};

}  // namespace Nyx
