// What a mesh instance answers to the particle operation GetID.
#pragma once

#include <cstdint>

inline constexpr uint32_t kIndexedMeshInstanceID = 17;
inline constexpr uint32_t kDynamicProgressiveMeshInstanceID = 20;
