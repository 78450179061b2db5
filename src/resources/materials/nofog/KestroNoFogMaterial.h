// The no-fog material ("nofogtex"): the engine's one-texture material drawn
// with fog switched off, restoring the fog mode after the draw.
#pragma once

#include <string_view>

#include "nyx/gfx/materials/Material.h"

namespace Nyx {

class KestroNoFogMaterial : public OneTextureMaterial {
public:
    static constexpr std::string_view kTypeName = "nofogtex";

    KestroNoFogMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                        RenderingCache* blendCache);

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    void SetDisplayState(Display& display) override;
    void ClearDisplayState(Display& display) override;

private:
    int32_t savedFog_ = 0;
};

}  // namespace Nyx
