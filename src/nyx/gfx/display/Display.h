// The render kernel's display: the drawing state that materials and the
// preview scene set, kept so that it can be read back (nothing is drawn),
// the display's rendering caches and its render device.
#pragma once

#include <cstdint>

#include "nyx/gfx/display/DisplayPipeline.h"
#include "nyx/gfx/display/RenderDevice.h"
#include "nyx/gfx/materials/RenderingCache.h"

namespace Nyx {

class Display : public DisplayPipeline {
public:
    Display() = default;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    void SetFogDensity(float density)
    {
        fogDensity_ = density;
        Record("SetFogDensity", {density});
    }
    float GetFogDensity() const noexcept { return fogDensity_; }
    void SetFogMode(int32_t mode)
    {
        Pipeline().fogMode = mode;
        Record("SetFogMode", {static_cast<float>(mode)});
    }
    int32_t GetFogMode() const noexcept { return GetPipelineState().fogMode; }

    RenderingCacheManager& GetRenderingCacheManager() noexcept { return caches_; }
    RenderDevice& GetRenderDevice() noexcept { return device_; }
    // The render device for code that must cope without one; null while a
    // test takes it away.
    RenderDevice* FindRenderDevice() noexcept { return deviceAvailable_ ? &device_ : nullptr; }
    void SetRenderDeviceAvailable(bool available) noexcept { deviceAvailable_ = available; }

    // Turns colours of a file (red, green, blue, alpha from the low byte up)
    // into the display's order. This display keeps the file's order.
    static void ConvertColorArray(uint32_t* /*colours*/, uint32_t /*count*/) noexcept {}

private:
    float fogDensity_ = 0.0f;
    RenderingCacheManager caches_;
    RenderDevice device_;
    bool deviceAvailable_ = true;
};

}  // namespace Nyx
