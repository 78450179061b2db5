#include "resources/materials/plugins/KestroNoFogMaterialPlugin.h"

#include <new>

#include "resources/materials/nofog/KestroNoFogMaterial.h"

namespace Nyx {

KestroNoFogMaterialPlugin::KestroNoFogMaterialPlugin() : OneTextureMaterialPlugin(PString(kTypeName), UId(kUId)) {}

Material* KestroNoFogMaterialPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel)
{
    CreatePluginResources(kernel);
    auto* material =
        new (std::nothrow) KestroNoFogMaterial(manager, GetChunkCache(), GetMaskCache(), GetBlendCache());
    if (!material)
        return nullptr;
    material->SetStageSetup(GetStageSetup());
    material->Assign(this);
    return material;
}

}  // namespace Nyx
