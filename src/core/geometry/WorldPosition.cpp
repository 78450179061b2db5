#include "core/geometry/WorldPosition.h"

namespace {

void FoldAxis(int16_t& tile, float& offset)
{
    // The tile fraction is formed in single precision and the bias added in
    // double; which side of a tile edge a position lands on depends on it.
    double tiles = static_cast<double>(offset * (1.0f / WorldPosition::kTileSize)) + 0.0001;
    // Huge, infinite or NaN offsets would make the conversion undefined.
    if (tiles > 2147483647.0)
        tiles = 2147483647.0;
    else if (tiles < -2147483647.0)
        tiles = -2147483647.0;
    else if (tiles != tiles)
        tiles = 0.0;
    int32_t n = static_cast<int32_t>(tiles);
    if (offset < 0.0f)
        --n;
    tile = static_cast<int16_t>(static_cast<uint16_t>(tile) + static_cast<uint16_t>(n));
    offset -= static_cast<float>(n) * WorldPosition::kTileSize;
}

}  // namespace

void WorldPosition::Normalise()
{
    normalised = 1;
    FoldAxis(tileX, x);
    FoldAxis(tileY, y);
}
