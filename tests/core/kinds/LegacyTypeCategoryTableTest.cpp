#include "core/kinds/LegacyTypeCategoryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

namespace {

std::string FlipCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return text;
}

TEST(LegacyTypeCategoryTableTest, Lookups)
{
    const char* const rows[][3] = {
        {"TRAINCAR", "as", "TR;TV;TDR"},  // the first of the two AS rows
        {"scenery", "FT", "FL;SCEN"},     // rows without a kind match every kind
        {"no such kind", "fo", "FL;SCEN"},
        {"", "TB", "TK;BRG"},  // no kind given matches every row
        {"", "SP", "SY;SPLN"},
        {"spline", "SP", "RD;SPLN"},
        {"drivercharacter", "OHD", "DR"},
        {"traincar", "QQ", ""},
        {"traincar", "TB", ""},  // the code exists for another kind only
        {"traincar", "A", ""},   // whole codes and kinds only
        {"train", "AA", ""},
        {"", "", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FindKindName(row[0], row[1]), row[2]) << row[0] << " / " << row[1];
}

TEST(LegacyTypeCategoryTableTest, EveryRowIsFoundUnlessAnEarlierRowHidesIt)
{
    const auto table = LegacyTypeCategoryTable();
    ASSERT_EQ(table.size(), 163u);
    EXPECT_STREQ(table.back().kind, "");
    EXPECT_STREQ(table.back().typeCode, "");
    EXPECT_STREQ(table.back().categories, "");
    // The second rows of traincar AS, scenery BR and traincar RP, with the
    // list of the first.
    const std::map<size_t, std::string> hidden = {{9, "TR;TV;TDR"}, {22, "BD;RRD"}, {83, "TR;TV;RCR;DIES"}};
    EXPECT_EQ(std::string(table[9].typeCode) + table[22].typeCode + table[83].typeCode, "ASBRRP");
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const LegacyTypeCategoryRow& row = table[i];
        SCOPED_TRACE(std::string(row.kind) + " / " + row.typeCode);
        std::string want = row.categories;
        if (auto h = hidden.find(i); h != hidden.end()) {
            EXPECT_NE(want, h->second);  // its own list is never returned
            want = h->second;
        }
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(FindKindName(row.kind, row.typeCode).Str(), want);
        EXPECT_EQ(FindKindName(FlipCase(row.kind), FlipCase(row.typeCode)).Str(), want);
    }
}

}  // namespace
