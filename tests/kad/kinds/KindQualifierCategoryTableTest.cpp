#include "kad/kinds/KindQualifierCategoryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

Nyx::PString Upper(const Nyx::PString& text)
{
    std::string upper = text.Str();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Nyx::PString(upper);
}

TEST(KindQualifierCategoryTableTest, Lookups)
{
    const char* const rows[][3] = {
        {"Bridge", "road;tunnels", "SPLN;TUN"},
        {"BRIDGE", "TUNNELS;Road", "SPLN;TUN"},  // both lower-cased; any order
        {"bridge", "road", "SPLN;BRG"},
        {"bridge", "canal", "SPLN;BRG"},  // the row without qualifier
        {"bridge", "", "SPLN;BRG"},
        {"bridge", "tunnels|road", "TK;TUN"},  // the list ends at its "|"
        {"library", "achievementvariable", "SLIB"},  // hidden by the row without qualifier
        {"traincar", "locomotive;tender", "TR;TV;TEND"},  // the first matching row
        {"traincar", "diesel", "TR;TV"},
        {"no-such-kind", "road", ""},
        {"", "", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FindKindCategory(Nyx::PString(row[0]), Nyx::PString(row[1])), row[2]) << row[0] << " / " << row[1];
}

TEST(KindQualifierCategoryTableTest, EveryRowIsFoundUnlessAnEarlierRowHidesIt)
{
    const auto table = KindQualifierCategoryTable();
    ASSERT_EQ(table.size(), 59u);
    EXPECT_TRUE(table.back().kind.Empty());
    EXPECT_TRUE(table.back().qualifier.Empty());
    EXPECT_STREQ(table.back().categories, "");
    // Only library with achievementvariable is hidden, by library alone.
    EXPECT_EQ(table[57].kind.Str() + "/" + table[57].qualifier.Str(), "library/achievementvariable");
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const KindQualifierCategoryRow& row = table[i];
        SCOPED_TRACE(row.kind.Str() + " / " + row.qualifier.Str());
        const std::string want = i == 57 ? "SLIB" : row.categories;
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(FindKindCategory(row.kind, row.qualifier).Str(), want);
        EXPECT_EQ(FindKindCategory(Upper(row.kind), Upper(row.qualifier)).Str(), want);
    }
}

}  // namespace
