#include "core/geometry/WorldPosition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(WorldPositionTest, NormaliseFoldsWholeTilesIntoTheTileNumbers)
{
    struct Row {
        int16_t tile;
        float offset;
        int16_t wantTile;
        float wantOffset;
    };
    const Row rows[] = {
        {0, 0.0f, 0, 0.0f},
        {0, 100.0f, 0, 100.0f},
        {0, -360.0f, -1, 360.0f},
        {0, 1440.0f, 2, 0.0f},
        {0, 719.95f, 1, -0.05f},  // within the bias of the edge
        {0, 720.0f, 1, 0.0f},
        {0, -720.0f, -1, 0.0f},
        {0, -10.0f, -1, 710.0f},
        {5, -1440.0f, 3, 0.0f},
        {32767, 720.0f, -32768, 0.0f},  // the tile number wraps
        {-32768, -1.0f, 32767, 719.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "tile " << row.tile << " offset " << row.offset);
        // The same row on either axis; z (height) is left alone.
        for (int axis = 0; axis < 2; ++axis) {
            WorldPosition p;
            (axis == 0 ? p.tileX : p.tileY) = row.tile;
            (axis == 0 ? p.x : p.y) = row.offset;
            p.z = -1234.5f;
            p.Normalise();
            EXPECT_EQ(p.normalised, 1);
            EXPECT_EQ(axis == 0 ? p.tileX : p.tileY, row.wantTile);
            EXPECT_NEAR(axis == 0 ? p.x : p.y, row.wantOffset, 1e-3f);
            EXPECT_EQ(axis == 0 ? p.tileY : p.tileX, 0);
            EXPECT_EQ(axis == 0 ? p.y : p.x, 0.0f);
            EXPECT_EQ(p.z, -1234.5f);
        }
    }
}

TEST(WorldPositionTest, NormaliseSurvivesOffsetsBeyondAnyTile)
{
    // Past the 32-bit range the tile count is held at its limit: 2^31 - 1
    // tiles on (the tile number one back, wrapped), or -2^31 back (the same
    // tile, wrapped); against such an offset the folded tiles vanish in the
    // rounding. NaN folds nothing.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        float offset;
        int16_t wantTile;
        float wantOffset;
    };
    const Row rows[] = {
        {inf, 4, inf}, {-inf, 5, -inf}, {nan, 5, nan}, {3.0e38f, 4, 3.0e38f}, {-3.0e38f, 5, -3.0e38f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "offset " << row.offset);
        for (int axis = 0; axis < 2; ++axis) {
            WorldPosition p;
            p.tileX = p.tileY = 5;
            (axis == 0 ? p.x : p.y) = row.offset;
            p.Normalise();  // must not trap (the sanitizer build checks the conversions)
            EXPECT_EQ(p.normalised, 1);
            EXPECT_EQ(axis == 0 ? p.tileX : p.tileY, row.wantTile);
            float offset = axis == 0 ? p.x : p.y;
            if (std::isnan(row.wantOffset))
                EXPECT_TRUE(std::isnan(offset)) << offset;
            else
                EXPECT_EQ(offset, row.wantOffset);
            EXPECT_EQ(axis == 0 ? p.tileY : p.tileX, 5);
            EXPECT_EQ(axis == 0 ? p.y : p.x, 0.0f);
        }
    }
}

}  // namespace
