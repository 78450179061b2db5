// Finds the items of a world by ground tile: as the observer of a world
// list it files every item under each 720-unit tile its extent touches.
//
// An extent may reach over the whole 16-bit tile range; filing such an item
// tile by tile would cost gigabytes. An item that would need more than
// kMaxCellsPerItem cells is kept once, with the tiles it covers, in an
// overflow that every query also looks at.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "scriptapi/world/WorldListObserver.h"

class WorldSpatialIndex : public WorldListObserver {
public:
    // The items of one tile, by identity.
    using Cell = std::set<WorldListItem*>;

    // The most tile cells one extent is filed under.
    static constexpr int64_t kMaxCellsPerItem = 4096;

    // Tile x in the low half, tile y in the high half.
    static constexpr uint32_t MakeKey(int16_t tileX, int16_t tileY) noexcept
    {
        return uint32_t(uint16_t(tileX)) | (uint32_t(uint16_t(tileY)) << 16);
    }

    WorldSpatialIndex() = default;
    WorldSpatialIndex(const WorldSpatialIndex&) = delete;
    WorldSpatialIndex& operator=(const WorldSpatialIndex&) = delete;

    void Insert(WorldListItem* item);
    void Remove(WorldListItem* item);
    void Clear() noexcept
    {
        cells_.clear();
        overflow_.clear();
    }
    // Made empty when absent.
    Cell& GetCell(uint32_t key);

    // The cell of a key, or null; makes nothing. Items in the overflow
    // stand in no cell.
    const Cell* FindCell(uint32_t key) const;
    size_t CellCount() const noexcept { return cells_.size(); }
    // Every item whose extent touches the tile: those of its cell and those
    // of the overflow whose tiles take it in.
    Cell ItemsAt(uint32_t key) const;
    // Items kept in the overflow.
    size_t OverflowCount() const noexcept { return overflow_.size(); }

    void ItemAdded(WorldListItem& item, const WorldItemExtent& extent) override { Insert(&item, extent); }
    void ItemRemoved(WorldListItem& item) override { Remove(&item); }
    void ListCleared() override { Clear(); }

private:
    // Tiles from (x0, y0) to (x1, y1), both inclusive.
    struct TileRange {
        int32_t x0, y0, x1, y1;
        bool operator==(const TileRange&) const = default;
        bool Holds(int32_t x, int32_t y) const noexcept { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    };

    void Insert(WorldListItem* item, const WorldItemExtent& extent);

    std::map<uint32_t, std::unique_ptr<Cell>> cells_;
    // Each item too large for cells, with the tiles of every extent it was
    // filed with.
    std::map<WorldListItem*, std::vector<TileRange>> overflow_;
};
