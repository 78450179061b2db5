// Something lit by the scene's lights: the lights that reach it and a flag
// that asks for its lighting to be computed again.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/math/Transform.h"

namespace Nyx {

class Display;
class GeometryChunk;
class Material;
class ParallelLight;
class ViewPoint;

class LightTarget {
public:
    virtual ~LightTarget() = default;

    // Not owned.
    void AddLight(ParallelLight* light) { lights_.push_back(light); }
    const std::vector<ParallelLight*>& GetLights() const noexcept { return lights_; }
    bool HasLight() const noexcept { return !lights_.empty(); }

    virtual void SetUpdateLighting(bool on) noexcept { updateLighting_ = on; }
    bool GetUpdateLighting() const noexcept { return updateLighting_; }

    // Brings the lighting up to date when asked to (or forced); the flag is
    // cleared either way.
    virtual void UpdateLighting(Display& display, ViewPoint& view, const Transform& transform, bool force);
    // Computes each chunk's light from the lights' diffuse colours and
    // records it on the display.
    void CalculateLighting(Display& display, ViewPoint& view, const Transform& transform, uint32_t chunkCount,
                           GeometryChunk* const* chunks, Material* const* materials);
    // The light target's part of drawing: the lights it is drawn with.
    virtual void RenderLightTarget(Display& display);

private:
    std::vector<ParallelLight*> lights_;
    bool updateLighting_ = true;
};

}  // namespace Nyx
