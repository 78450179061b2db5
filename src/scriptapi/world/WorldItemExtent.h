// The extent an item of a world covers, as the item reports it when it
// enters a list: both corners share one tile and differ in their offsets.
// It lives only in memory.
#pragma once

#include <cstdint>

struct WorldItemExtent {
    uint8_t flag = 1;
    int16_t tileX = 0;
    int16_t tileY = 0;
    float x0 = 0.0f;
    float x1 = 0.0f;
    float y0 = 0.0f;
    float y1 = 0.0f;
    float z0 = 0.0f;
    float z1 = 0.0f;
};
