#include "core/kinds/KindCategoryTable.h"
#include "core/kinds/KindKeyCategoryTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(KindCategoryTableTest, DisplayNamesByCategoryList)
{
    const auto table = KindCategoryTable();
    ASSERT_EQ(table.size(), 36u);
    EXPECT_STREQ(table.front().categories, "QMT");
    EXPECT_EQ(table.front().displayName, Nyx::PString("Tintery Template"));
    EXPECT_STREQ(table[34].categories, "FIXD");
    EXPECT_STREQ(table.back().categories, "");
    EXPECT_TRUE(table.back().displayName.Empty());
    EXPECT_EQ(table.back().flag, 0u);
    // Both fixed-track rows hold the one interned name.
    EXPECT_STREQ(table[2].categories, "SWT;FIXD");
    EXPECT_EQ(table[2].displayName.Identity(), table[34].displayName.Identity());
    std::string flagged;
    for (const KindCategoryRow& row : table) {
        if (row.flag != 0)
            flagged += std::string(row.categories) + "=" + row.displayName.Str() + " ";
    }
    EXPECT_EQ(flagged, "TX;ENV=TextureEnv TK;BRG=Bridge TK;SPL=Spline TK;TUN=Tunnel ");
    // Made once: later calls give the same rows.
    EXPECT_EQ(KindCategoryTable().data(), table.data());
}

TEST(KindCategoryTableTest, LowerCaseKeysByCategoryList)
{
    const auto table = KindKeyCategoryTable();
    ASSERT_EQ(table.size(), 27u);
    EXPECT_STREQ(table.front().categories, "QMT");
    EXPECT_EQ(table.front().kindKey, Nyx::PString("tinterytemplate"));
    const KindKeyCategoryRow& catchAll = table[25];
    EXPECT_STREQ(catchAll.categories, "");
    EXPECT_EQ(catchAll.kindKey, Nyx::PString("misc"));
    EXPECT_EQ(catchAll.flag, -1);
    EXPECT_EQ(table[24].kindKey.Identity(), catchAll.kindKey.Identity());
    EXPECT_STREQ(table.back().categories, "");
    EXPECT_TRUE(table.back().kindKey.Empty());
    EXPECT_EQ(table.back().flag, 0);
    for (const KindKeyCategoryRow& row : table) {
        SCOPED_TRACE(row.kindKey.Str());
        EXPECT_EQ(Nyx::PStringCache::ToLower(row.kindKey), row.kindKey);
        EXPECT_EQ(row.flag != 0, row.kindKey == Nyx::PString("textureenv") || &row == &catchAll);
    }
}

}  // namespace
