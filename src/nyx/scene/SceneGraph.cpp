#include "nyx/scene/SceneGraph.h"

#include <algorithm>

namespace Nyx {

SceneGraph::~SceneGraph() { PurgeDeathRow(); }

void SceneGraph::QueueDelete(Particle* particle)
{
    if (!particle || particle == &root_)
        return;
    particle->Unlink();
    if (std::find(deathRow_.begin(), deathRow_.end(), particle) == deathRow_.end())
        deathRow_.push_back(particle);
}

uint32_t SceneGraph::PurgeDeathRow()
{
    // A particle's destructor may queue further ones: take the row first.
    uint32_t count = 0;
    while (!deathRow_.empty()) {
        std::vector<Particle*> row;
        row.swap(deathRow_);
        for (Particle* particle : row)
            delete particle;
        count += static_cast<uint32_t>(row.size());
    }
    return count;
}

}  // namespace Nyx
