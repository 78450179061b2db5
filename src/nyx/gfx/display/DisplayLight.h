// A light as the display sees it for one draw: its kind, colours, the
// spot cone and range, and where it is and points (world space).
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

class DisplayLight {
public:
    enum Kind : uint32_t { kAmbient = 0, kPoint = 1, kSpot = 2, kParallel = 3 };

    explicit DisplayLight(uint32_t kind = kParallel) noexcept : kind_(kind) {}

    uint32_t GetKind() const noexcept { return kind_; }
    void SetKind(uint32_t kind) noexcept { kind_ = kind; }

    const DisplayColour& GetAmbient() const noexcept { return ambient_; }
    const DisplayColour& GetDiffuse() const noexcept { return diffuse_; }
    const DisplayColour& GetSpecular() const noexcept { return specular_; }
    void SetAmbient(const DisplayColour& c) noexcept { ambient_ = c; }
    void SetDiffuse(const DisplayColour& c) noexcept { diffuse_ = c; }
    void SetSpecular(const DisplayColour& c) noexcept { specular_ = c; }

    // The full cone angle of a spot light, in degrees.
    float GetAngle() const noexcept { return angle_; }
    void SetAngle(float degrees) noexcept { angle_ = degrees; }
    float GetRange() const noexcept { return range_; }
    void SetRange(float range) noexcept { range_ = range; }

    const Vector3f& GetPosition() const noexcept { return position_; }
    const Vector3f& GetDirection() const noexcept { return direction_; }
    void SetPosition(const Vector3f& p) noexcept { position_ = p; }
    void SetDirection(const Vector3f& d) noexcept { direction_ = d; }

private:
    uint32_t kind_;
    DisplayColour ambient_{0.0f, 0.0f, 0.0f, 1.0f};
    DisplayColour diffuse_{1.0f, 1.0f, 1.0f, 1.0f};
    DisplayColour specular_{0.0f, 0.0f, 0.0f, 1.0f};
    float angle_ = 45.0f;
    float range_ = 100.0f;
    Vector3f position_;
    Vector3f direction_{0.0f, 0.0f, -1.0f};
};

// The lights a chunk is drawn with (not owned).
using DisplayLightList = std::vector<const DisplayLight*>;

}  // namespace Nyx
