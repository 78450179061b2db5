// One pass of drawing a view: its camera, its frame number, and the list of
// geometry that culling added to be drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/Camera.h"

namespace Nyx {

class TriangleGeometry;

class ViewPoint {
public:
    explicit ViewPoint(uint32_t frameNumber = 1) noexcept : frame_(frameNumber) {}

    Camera& GetCamera() noexcept { return camera_; }
    const Camera& GetCamera() const noexcept { return camera_; }
    uint32_t GetFrameNumber() const noexcept { return frame_; }
    void NextFrame() noexcept
    {
        ++frame_;
        added_.clear();
    }

    void Add(TriangleGeometry* geometry) { added_.push_back(geometry); }
    const std::vector<TriangleGeometry*>& GetAdded() const noexcept { return added_; }

    // The mip level the textures of something at that distance from the
    // camera want, scaled by the mesh's texture scale: 0 up close, one more
    // for each doubling of the distance beyond the reference distance.
    uint32_t CalcWantedMipLevelsForCull(const Sphere& sphere, float textureScale) const noexcept;
    static constexpr float kReferenceDistance = 16.0f;

private:
    Camera camera_;
    uint32_t frame_;
    std::vector<TriangleGeometry*> added_;
};

}  // namespace Nyx
