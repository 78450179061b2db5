// The ground-base material ("groundbase"): the engine's one-texture drawing
// with its own alpha-test and depth-write modes applied while its chunks
// are drawn. It is the base of the one-texture-no-alpha material and has
// no plug-in of its own.
#pragma once

#include <cstdint>
#include <string_view>

#include "nyx/gfx/materials/Material.h"

namespace Nyx {

class KestroGroundBaseMaterial : public OneTextureMaterial {
public:
    static constexpr std::string_view kTypeName = "groundbase";

    KestroGroundBaseMaterial(MaterialManager* manager, RenderingCache* chunkCache, RenderingCache* maskCache,
                             RenderingCache* blendCache, std::string_view typeName = kTypeName);

    OneTextureMaterial* CreateInstance() const override;
    Material* Duplicate() const override;
    bool Equals(const Material& other) const override;
    // The display state of pass 0; other passes change nothing.
    virtual void Bind(Display& display, ViewPoint* viewport, uint32_t pass);
    virtual void Unbind(Display& display, ViewPoint* viewport, uint32_t pass);
    void SetDisplayState(Display& display) override;
    // Depth writes are left on whatever they were before.
    void ClearDisplayState(Display& display) override;

    bool GetDepthWriteMode() const noexcept { return depthWrite_; }
    void SetDepthWriteMode(bool on) noexcept { depthWrite_ = on; }
    bool GetAlphaTestMode() const noexcept { return alphaTest_; }
    void SetAlphaTestMode(bool on) noexcept { alphaTest_ = on; }

protected:
    // The ground part of a copy: one-texture state and both modes.
    void InitGroundInstance(const KestroGroundBaseMaterial& from);

private:
    bool depthWrite_ = true;
    bool alphaTest_ = false;
    // The display's alpha test between SetDisplayState and ClearDisplayState.
    bool savedAlphaTest_ = true;
};

}  // namespace Nyx
