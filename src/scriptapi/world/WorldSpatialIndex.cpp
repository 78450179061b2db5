#include "scriptapi/world/WorldSpatialIndex.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/WorldPosition.h"
#include "scriptapi/world/WorldItemExtent.h"
#include "scriptapi/world/WorldListItem.h"

namespace {

// Keeps an offset inside what the 16-bit tile numbers reach from its
// tile, so that folding it into the tile cannot wrap around. The low end
// stays a tile short of -32768: a negative offset is folded one tile
// further, and single precision is off by a little at this size.
float ClampOffset(float offset, int16_t tile)
{
    const float low = float(-32767 - int32_t(tile)) * WorldPosition::kTileSize;
    const float high = float(32767 - int32_t(tile)) * WorldPosition::kTileSize;
    return std::fmin(std::fmax(offset, low), high);
}

WorldPosition Corner(const WorldItemExtent& extent, float x, float y, float z)
{
    WorldPosition corner;
    corner.tileX = extent.tileX;
    corner.tileY = extent.tileY;
    corner.x = ClampOffset(x, extent.tileX);
    corner.y = ClampOffset(y, extent.tileY);
    corner.z = z;
    corner.normalised = 0;
    corner.Normalise();
    return corner;
}

}  // namespace

void WorldSpatialIndex::Insert(WorldListItem* item)
{
    if (!item)
        return;
    WorldItemExtent extent;
    item->GetDefaultState(extent);
    Insert(item, extent);
}

void WorldSpatialIndex::Insert(WorldListItem* item, const WorldItemExtent& extent)
{
    // An extent that is not a place is filed nowhere.
    for (float v : {extent.x0, extent.x1, extent.y0, extent.y1}) {
        if (!std::isfinite(v))
            return;
    }
    const WorldPosition a = Corner(extent, extent.x0, extent.y0, extent.z0);
    const WorldPosition b = Corner(extent, extent.x1, extent.y1, extent.z1);
    if (a.tileX > b.tileX || a.tileY > b.tileY)
        return;
    const TileRange tiles{a.tileX, a.tileY, b.tileX, b.tileY};
    const int64_t cells = (int64_t(tiles.x1) - tiles.x0 + 1) * (int64_t(tiles.y1) - tiles.y0 + 1);
    if (cells > kMaxCellsPerItem) {
        std::vector<TileRange>& ranges = overflow_[item];
        if (std::find(ranges.begin(), ranges.end(), tiles) == ranges.end())
            ranges.push_back(tiles);
        return;
    }
    for (int32_t y = tiles.y0; y <= tiles.y1; ++y) {
        for (int32_t x = tiles.x0; x <= tiles.x1; ++x)
            GetCell(MakeKey(int16_t(x), int16_t(y))).insert(item);
    }
}

void WorldSpatialIndex::Remove(WorldListItem* item)
{
    if (!item)
        return;
    for (auto it = cells_.begin(); it != cells_.end();) {
        it->second->erase(item);
        if (it->second->empty())
            it = cells_.erase(it);
        else
            ++it;
    }
    overflow_.erase(item);
}

WorldSpatialIndex::Cell& WorldSpatialIndex::GetCell(uint32_t key)
{
    std::unique_ptr<Cell>& cell = cells_[key];
    if (!cell)
        cell = std::make_unique<Cell>();
    return *cell;
}

const WorldSpatialIndex::Cell* WorldSpatialIndex::FindCell(uint32_t key) const
{
    auto it = cells_.find(key);
    return it == cells_.end() ? nullptr : it->second.get();
}

WorldSpatialIndex::Cell WorldSpatialIndex::ItemsAt(uint32_t key) const
{
    Cell items;
    if (const Cell* cell = FindCell(key))
        items = *cell;
    const int32_t x = int16_t(uint16_t(key & 0xFFFFu));
    const int32_t y = int16_t(uint16_t(key >> 16));
    for (const auto& [item, ranges] : overflow_)
        if (std::any_of(ranges.begin(), ranges.end(), [&](const TileRange& r) { return r.Holds(x, y); }))
            items.insert(item);
    return items;
}
