// Finds the items of a world by ground tile: as the observer of a world
// list it files every item under each 720-unit tile its extent touches.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "scriptapi/world/WorldListObserver.h"

class WorldSpatialIndex : public WorldListObserver {
public:
    // The items of one tile, by identity.
    using Cell = std::set<WorldListItem*>;

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
    void Clear() noexcept { cells_.clear(); }
    // Made empty when absent.
    Cell& GetCell(uint32_t key);

    // The cell of a key, or null; makes nothing.
    const Cell* FindCell(uint32_t key) const;
    size_t CellCount() const noexcept { return cells_.size(); }

    void ItemAdded(WorldListItem& item, const WorldItemExtent& extent) override { Insert(&item, extent); }
    void ItemRemoved(WorldListItem& item) override { Remove(&item); }
    void ListCleared() override { Clear(); }

private:
    void Insert(WorldListItem* item, const WorldItemExtent& extent);

    std::map<uint32_t, std::unique_ptr<Cell>> cells_;
};
