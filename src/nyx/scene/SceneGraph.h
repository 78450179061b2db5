// The render kernel's scene: one root particle that everything shown hangs
// below, and a death row of particles whose deletion waits for a purge, so
// that nothing is deleted while a walk over the scene could still reach it.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/Particle.h"

namespace Nyx {

class SceneGraph {
public:
    SceneGraph() = default;
    SceneGraph(const SceneGraph&) = delete;
    SceneGraph& operator=(const SceneGraph&) = delete;
    // Deletes what waits on death row; the particles still in the scene
    // belong to whoever added them and are only unlinked.
    ~SceneGraph();

    Particle& GetRoot() noexcept { return root_; }
    bool AddParticle(Particle* particle) { return root_.AddChild(particle); }
    bool RemoveParticle(Particle* particle) { return root_.RemoveChild(particle); }

    // Unlinks the particle now and deletes it at the next purge; a particle
    // already waiting is not queued twice.
    void QueueDelete(Particle* particle);
    // Deletes every particle on death row; returns how many.
    uint32_t PurgeDeathRow();
    uint32_t GetDeathRowCount() const noexcept { return static_cast<uint32_t>(deathRow_.size()); }

private:
    Particle root_;
    std::vector<Particle*> deathRow_;
};

}  // namespace Nyx
