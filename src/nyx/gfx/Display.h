// The render kernel's display: the drawing state that materials and the
// preview scene set, kept so that it can be read back (nothing is drawn),
// and the display's rendering caches.
#pragma once

#include <cstdint>

#include "nyx/gfx/RenderingCache.h"

namespace Nyx {

class Display {
public:
    Display() = default;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    void SetFogDensity(float density) noexcept { fogDensity_ = density; }
    float GetFogDensity() const noexcept { return fogDensity_; }
    void SetFogMode(int32_t mode) noexcept { fogMode_ = mode; }
    int32_t GetFogMode() const noexcept { return fogMode_; }

    RenderingCacheManager& GetRenderingCacheManager() noexcept { return caches_; }

private:
    float fogDensity_ = 0.0f;
    int32_t fogMode_ = 0;
    RenderingCacheManager caches_;
};

}  // namespace Nyx
