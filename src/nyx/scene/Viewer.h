// What looks at a scene: the particle it shows, and the lights made for it.
#pragma once

namespace Nyx {

class Particle;

class Viewer {
public:
    Viewer() = default;
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;
    virtual ~Viewer() = default;

    // The viewer does not own the scene it is pointed at.
    void SetScene(Particle* scene) noexcept { scene_ = scene; }
    Particle* GetScene() const noexcept { return scene_; }

private:
    Particle* scene_ = nullptr;
};

}  // namespace Nyx
