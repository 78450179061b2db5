#include "core/kinds/KindCategoryTable.h"
#include "core/kinds/KindKeyCategoryTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(KindCategoryTableTest, RowCountsEndRowsAndFlaggedRows)
{
    const auto names = KindCategoryTable();
    ASSERT_EQ(names.size(), 36u);
    EXPECT_STREQ(names.back().categories, "");
    EXPECT_TRUE(names.back().displayName.Empty());
    std::string flagged;
    for (const KindCategoryRow& row : names) {
        if (row.flag != 0)
            flagged += std::string(row.categories) + "=" + row.displayName.Str() + " ";
    }
    EXPECT_EQ(flagged, "TX;ENV=TextureEnv TK;BRG=Bridge TK;SPL=Spline TK;TUN=Tunnel ");

    const auto keys = KindKeyCategoryTable();
    ASSERT_EQ(keys.size(), 27u);
    EXPECT_STREQ(keys.back().categories, "");
    EXPECT_TRUE(keys.back().kindKey.Empty());
    flagged.clear();
    for (const KindKeyCategoryRow& row : keys) {
        EXPECT_EQ(Nyx::PStringCache::ToLower(row.kindKey), row.kindKey);
        if (row.flag != 0)
            flagged += std::string(row.categories) + "=" + row.kindKey.Str() + ":" + std::to_string(row.flag) + " ";
    }
    EXPECT_EQ(flagged, "TX;ENV=textureenv:1 =misc:-1 ");
}

}  // namespace
