#include "core/WorldPosition.h"

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
    const float odd[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN(), 3.0e38f, -3.0e38f};
    for (float offset : odd) {
        WorldPosition p;
        p.x = offset;
        p.Normalise();  // must not trap (the sanitizer build checks the conversions)
        EXPECT_EQ(p.normalised, 1);
    }
}

}  // namespace
