#include "resources/materials/nofog/KestroNoFogMaterial.h"

#include "nyx/gfx/display/Display.h"

namespace Nyx {

KestroNoFogMaterial::KestroNoFogMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                         RenderingCache* maskCache, RenderingCache* blendCache)
    : OneTextureMaterial(PString(kTypeName), manager, chunkCache, maskCache, blendCache)
{
}

OneTextureMaterial* KestroNoFogMaterial::CreateInstance() const
{
    auto* copy = new KestroNoFogMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache());
    copy->InitInstance(*this);
    return copy;
}

Material* KestroNoFogMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroNoFogMaterial::Equals(const Material& other) const
{
    return dynamic_cast<const KestroNoFogMaterial*>(&other) && OneTextureMaterial::Equals(other);
}

void KestroNoFogMaterial::SetDisplayState(Display& display)
{
    savedFog_ = display.GetFogMode();
    display.SetFogMode(0);
    OneTextureMaterial::SetDisplayState(display);
}

void KestroNoFogMaterial::ClearDisplayState(Display& display)
{
    display.SetFogMode(savedFog_);
    display.SetCullMode(1);
    if (!(GetFlags() & kFlagKeepBlending)) {
        display.SetAlphaBlendMode(savedBlend_);
        display.SetAlphaBlendFunction(savedSourceBlend_, savedDestinationBlend_);
    }
    if (GetStageSetup())
        display.ResetStage(0);
}

}  // namespace Nyx
