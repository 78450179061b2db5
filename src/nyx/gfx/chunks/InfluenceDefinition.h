// One bone's influence on a skinned mesh: the bone and its parent by name,
// its rest frame, and per chunk the vertices it moves with their weights.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/scene/math/Quaternion.h"

namespace Nyx {

struct InfluenceEntry {
    uint32_t vertex = 0;
    // The weight first; the rest ride along as stored.
    float values[4] = {};
};
static_assert(sizeof(InfluenceEntry) == 20);

struct InfluenceGroup {
    uint32_t chunkIndex = 0;
    std::vector<InfluenceEntry> entries;
};

struct InfluenceDefinition {
    PString boneName;
    PString parentName;  // empty for a root
    Vector3f position;
    Matrix3 orientation;
    std::vector<InfluenceGroup> groups;
};

}  // namespace Nyx
