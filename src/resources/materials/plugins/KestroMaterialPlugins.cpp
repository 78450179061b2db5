#include "resources/materials/plugins/KestroMaterialPlugins.h"

#include <new>

#include "resources/materials/plugins/KestroBumpMaterialPlugins.h"
#include "resources/materials/plugins/KestroGlossRustMaterialPlugin.h"
#include "resources/materials/plugins/KestroMultiPFXMaterialPlugin.h"
#include "resources/materials/plugins/KestroNoFogMaterialPlugin.h"
#include "resources/materials/plugins/KestroOneTexNoAlphaMaterialPlugin.h"

namespace Nyx {

MaterialPlugin* KestroMaterialPlugins::Create(std::string_view typeName)
{
    MaterialPlugin* plugin = nullptr;
    if (typeName == KestroBumpGlossMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroBumpGlossMaterialPlugin;
    else if (typeName == KestroBumpMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroBumpMaterialPlugin;
    else if (typeName == KestroBumpEnvMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroBumpEnvMaterialPlugin;
    else if (typeName == KestroNoFogMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroNoFogMaterialPlugin;
    else if (typeName == KestroGlossRustMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroGlossRustMaterialPlugin;
    else if (typeName == KestroOneTexNoAlphaMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroOneTexNoAlphaMaterialPlugin;
    else if (typeName == KestroMultiPFXMaterialPlugin::kTypeName)
        plugin = new (std::nothrow) KestroMultiPFXMaterialPlugin;
    if (plugin)
        plugin->AddReference();
    return plugin;
}

}  // namespace Nyx
