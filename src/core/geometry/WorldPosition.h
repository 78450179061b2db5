// A position in the world: a 720-unit square tile and the offsets inside it.
#pragma once

#include <cstdint>

struct WorldPosition {
    static constexpr float kTileSize = 720.0f;

    int16_t tileX = 0;
    int16_t tileY = 0;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;      // height; never folded
    uint8_t normalised = 0;

    // Moves whole tiles out of the x and y offsets into the tile numbers, so
    // that each offset ends up in about [0, 720). An offset just short of a
    // tile edge (within 0.0001 of a tile) counts as on the edge and comes out
    // slightly negative.
    void Normalise();
};
