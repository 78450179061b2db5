// A light from one direction, as far away as its range says; it lights the
// particles below the one it is added to.
#pragma once

#include <cstdint>

#include "nyx/scene/Particle.h"

namespace Nyx {

struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    bool operator==(const Colour&) const = default;
};

class ParallelLight : public Particle {
public:
    ParallelLight(float range, int32_t priority) : range_(range), priority_(priority) {}

    float GetRange() const noexcept { return range_; }
    int32_t GetPriority() const noexcept { return priority_; }

    void SetAmbient(const Colour& c) noexcept { ambient_ = c; }
    void SetDiffuse(const Colour& c) noexcept { diffuse_ = c; }
    void SetSpecular(const Colour& c) noexcept { specular_ = c; }
    const Colour& GetAmbient() const noexcept { return ambient_; }
    const Colour& GetDiffuse() const noexcept { return diffuse_; }
    const Colour& GetSpecular() const noexcept { return specular_; }

private:
    float range_;
    int32_t priority_;
    Colour ambient_;
    Colour diffuse_;
    Colour specular_;
};

}  // namespace Nyx
