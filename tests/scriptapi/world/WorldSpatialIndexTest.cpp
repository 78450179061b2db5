// The spatial index files items under the tiles their extents touch, as
// the observer of a world list.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "scriptapi/world/WorldList.h"
#include "scriptapi/world/WorldListItem.h"
#include "scriptapi/world/WorldSpatialIndex.h"

namespace {

class ExtentItem : public WorldListItem {
public:
    explicit ExtentItem(const WorldItemExtent& extent) : extent_(extent) {}
    uint32_t GetTypeCode() override { return 0x74786574u; }
    void GetDefaultState(WorldItemExtent& extent) override { extent = extent_; }

private:
    WorldItemExtent extent_;
};

WorldItemExtent Extent(int16_t tileX, int16_t tileY, float x0, float x1, float y0, float y1)
{
    WorldItemExtent e;
    e.tileX = tileX;
    e.tileY = tileY;
    e.x0 = x0;
    e.x1 = x1;
    e.y0 = y0;
    e.y1 = y1;
    return e;
}

using Tiles = std::set<std::pair<int, int>>;

// The tiles whose cells hold the item.
Tiles TilesOf(const WorldSpatialIndex& index, WorldListItem* item, int lowX, int highX, int lowY, int highY)
{
    Tiles tiles;
    for (int y = lowY; y <= highY; ++y)
        for (int x = lowX; x <= highX; ++x)
            if (const WorldSpatialIndex::Cell* cell = index.FindCell(WorldSpatialIndex::MakeKey(int16_t(x), int16_t(y))))
                if (cell->count(item))
                    tiles.insert({x, y});
    return tiles;
}

TEST(WorldSpatialIndexTest, ItemsAreFiledUnderEveryTileTheirExtentTouches)
{
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        WorldItemExtent extent;
        Tiles tiles;
    };
    const Case cases[] = {
        {"inside one tile", Extent(3, -2, 10, 700, 5, 6), {{3, -2}}},
        {"x0 = -10 to 10 spans tiles -1 and 0", Extent(0, 0, -10, 10, 0, 0), {{-1, 0}, {0, 0}}},
        {"two by two", Extent(0, 0, 700, 800, -5, 5), {{0, -1}, {1, -1}, {0, 0}, {1, 0}}},
        {"reversed in x", Extent(0, 0, 800, 10, 0, 0), {}},
        {"reversed in y", Extent(0, 0, 0, 0, 800, 10), {}},
        {"NaN", Extent(0, 0, kNaN, 10, 0, 0), {}},
        {"infinite", Extent(0, 0, 0, kInf, 0, 0), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorldSpatialIndex index;
        ExtentItem item(c.extent);
        index.Insert(&item);
        EXPECT_EQ(c.tiles, TilesOf(index, &item, -3, 5, -3, 3));
        EXPECT_EQ(c.tiles.size(), index.CellCount());
    }
}

// Offsets far past the 16-bit tile range wrapped the tile numbers round, so
// the corners swapped and the item vanished (or, the other way round, rows
// of 65536 tiles were walked).
TEST(WorldSpatialIndexTest, HugeOffsetsStopAtTheEdgeOfTheTileRange)
{
    WorldSpatialIndex index;
    ExtentItem item(Extent(32760, 0, 0, 1.0e9f, 0, 0));
    index.Insert(&item);
    EXPECT_EQ(8u, index.CellCount());
    EXPECT_EQ(1u, TilesOf(index, &item, 32767, 32767, 0, 0).size());

    WorldSpatialIndex low;
    ExtentItem under(Extent(-32760, 0, -1.0e9f, 0, 0, 0));
    low.Insert(&under);
    EXPECT_LE(low.CellCount(), 9u);
    EXPECT_GE(low.CellCount(), 8u);
    EXPECT_EQ(1u, TilesOf(low, &under, -32760, -32760, 0, 0).size());
}

// An extent of more tiles than one item may take is kept once in the
// overflow, which every query looks at; smaller ones are filed tile by tile
// as before. Each case: the cells made, whether it went to the overflow, and
// tiles that are (or are not) found holding the item.
TEST(WorldSpatialIndexTest, ExtentsTooLargeForCellsAreFoundThroughTheOverflow)
{
    constexpr float kTile = 720.0f;
    struct Case {
        const char* name;
        WorldItemExtent extent;
        size_t cells;
        bool overflow;
        std::vector<std::pair<int, int>> inside;
        std::vector<std::pair<int, int>> outside;
    };
    const Case cases[] = {
        // 64 by 64 tiles: the most one item is filed under.
        {"at the bound", Extent(0, 0, 10, 63 * kTile + 10, 10, 63 * kTile + 10), 4096, false,
         {{0, 0}, {63, 63}, {0, 63}}, {{64, 0}, {-1, 0}, {0, 64}}},
        {"one row past the bound", Extent(0, 0, 10, 64 * kTile + 10, 10, 63 * kTile + 10), 0, true,
         {{0, 0}, {64, 63}, {30, 40}}, {{65, 0}, {-1, 0}, {0, 64}}},
        {"a long thin strip", Extent(-5, 7, 10, 4000 * kTile, 10, 20), 4001, false,
         {{-5, 7}, {3995, 7}}, {{3996, 7}, {-5, 8}}},
        {"two million both ways", Extent(0, 0, -2.0e6f, 2.0e6f, -2.0e6f, 2.0e6f), 0, true,
         {{0, 0}, {-2778, -2778}, {2777, 2777}, {-2778, 2777}}, {{2778, 0}, {0, -2779}, {3000, 3000}}},
        {"a billion both ways", Extent(100, -100, -1.0e9f, 1.0e9f, -1.0e9f, 1.0e9f), 0, true,
         {{32767, 32767}, {-32767, -32767}, {0, 0}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorldSpatialIndex index;
        ExtentItem item(c.extent);
        ExtentItem small(Extent(0, 0, 10, 20, 10, 20));
        index.Insert(&item);
        index.Insert(&item);  // filed once however often
        // No extent costs more cells than that, however large.
        ASSERT_LE(index.CellCount(), 4096u);
        EXPECT_EQ(index.CellCount(), c.cells);
        EXPECT_EQ(index.OverflowCount(), c.overflow ? 1u : 0u);
        index.Insert(&small);
        for (const auto& [x, y] : c.inside) {
            const WorldSpatialIndex::Cell found = index.ItemsAt(WorldSpatialIndex::MakeKey(int16_t(x), int16_t(y)));
            EXPECT_EQ(found.count(&item), 1u) << x << "," << y;
            EXPECT_EQ(found.count(&small), x == 0 && y == 0 ? 1u : 0u) << x << "," << y;
            if (!c.overflow) {
                const WorldSpatialIndex::Cell* cell = index.FindCell(WorldSpatialIndex::MakeKey(int16_t(x), int16_t(y)));
                ASSERT_NE(cell, nullptr);
                EXPECT_EQ(*cell, found);
            }
        }
        for (const auto& [x, y] : c.outside)
            EXPECT_EQ(index.ItemsAt(WorldSpatialIndex::MakeKey(int16_t(x), int16_t(y))).count(&item), 0u)
                << x << "," << y;
        index.Remove(&item);
        EXPECT_EQ(index.OverflowCount(), 0u);
        EXPECT_EQ(index.CellCount(), 1u);
        EXPECT_EQ(index.ItemsAt(WorldSpatialIndex::MakeKey(0, 0)), WorldSpatialIndex::Cell{&small});
    }

    // The list's observer: a huge item goes with the list's clearing.
    WorldSpatialIndex index;
    WorldList list;
    list.SetObserver(&index);
    auto* huge = new ExtentItem(Extent(0, 0, -2.0e6f, 2.0e6f, -2.0e6f, 2.0e6f));
    list.AddItem(*huge);
    EXPECT_EQ(index.OverflowCount(), 1u);
    EXPECT_EQ(index.ItemsAt(WorldSpatialIndex::MakeKey(5, 5)).count(huge), 1u);
    list.RemoveItems(0, 0);
    EXPECT_EQ(index.OverflowCount(), 0u);
    EXPECT_EQ(index.CellCount(), 0u);
}

TEST(WorldSpatialIndexTest, RemovingTheLastItemOfACellDeletesTheCell)
{
    WorldSpatialIndex index;
    ExtentItem a(Extent(0, 0, 0, 800, 0, 0));
    ExtentItem b(Extent(1, 0, 0, 0, 0, 0));
    ExtentItem elsewhere(Extent(9, 9, 0, 0, 0, 0));
    index.Insert(&a);
    index.Insert(&b);
    index.Insert(&a);
    ASSERT_EQ(2u, index.CellCount());
    EXPECT_EQ(2u, index.FindCell(WorldSpatialIndex::MakeKey(1, 0))->size());
    index.Remove(&a);
    EXPECT_EQ(1u, index.CellCount());
    EXPECT_EQ(nullptr, index.FindCell(WorldSpatialIndex::MakeKey(0, 0)));
    index.Remove(&elsewhere);
    index.Remove(nullptr);
    index.Insert(nullptr);
    EXPECT_EQ(1u, index.CellCount());
}

TEST(WorldSpatialIndexTest, AsObserverItFollowsTheList)
{
    WorldSpatialIndex index;
    WorldList list;
    list.SetObserver(&index);
    auto* a = new ExtentItem(Extent(0, 0, -10, 10, 0, 0));
    auto* b = new ExtentItem(Extent(4, 4, 0, 0, 0, 0));
    list.AddItem(*a);
    list.AddItem(*b);
    EXPECT_EQ(3u, index.CellCount());
    delete a;
    EXPECT_EQ(1u, index.CellCount());
    list.RemoveItems(0, 0);
    EXPECT_EQ(0u, index.CellCount());
    EXPECT_EQ(0u, list.ItemCount());
}

}  // namespace
