#include "core/kinds/LegacyTypeCategoryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

std::string FlipCase(std::string_view text)
{
    std::string flipped(text);
    for (char& c : flipped) {
        const unsigned char u = static_cast<unsigned char>(c);
        c = static_cast<char>(std::isupper(u) ? std::tolower(u) : std::toupper(u));
    }
    return flipped;
}

TEST(LegacyTypeCategoryTableTest, Lookups)
{
    struct Row {
        const char* kind;
        const char* code;
        const char* categories;
    };
    const Row rows[] = {
        {"TRAINCAR", "as", "TR;TV;TDR"},  // the first of the two AS rows
        {"scenery", "FT", "FL;SCEN"},     // rows without a kind match every kind
        {"no such kind", "fo", "FL;SCEN"},
        {"", "TB", "TK;BRG"},  // no kind given matches every row
        {"", "SP", "SY;SPLN"},
        {"spline", "SP", "RD;SPLN"},
        {"bridge", "TR", "TK;RLS"},
        {"texture-group", "JO", "TX;NEV"},
        {"drivercharacter", "OH", "PP"},
        {"drivercharacter", "OHD", "DR"},
        {"traincar", "QQ", ""},
        {"traincar", "TB", ""},  // the code exists for another kind only
        {"traincar", "A", ""},   // whole codes and kinds only
        {"traincar", "AAX", ""},
        {"train", "AA", ""},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind) + " / " + row.code);
        EXPECT_EQ(FindKindName(row.kind, row.code), row.categories);
    }
}

TEST(LegacyTypeCategoryTableTest, EveryRowIsFoundUnlessAnEarlierRowHidesIt)
{
    // The pairs that occur twice, with the list of their first row.
    struct Hidden {
        const char* kind;
        const char* code;
        const char* hiddenList;
        const char* firstList;
    };
    const Hidden hidden[] = {
        {"traincar", "AS", "TR;TV;LOC;STEM", "TR;TV;TDR"},
        {"traincar", "RP", "TR;TV;RCR;OTHR", "TR;TV;RCR;DIES"},
        {"scenery", "BR", "TO;CAT", "BD;RRD"},
    };
    size_t foundHidden = 0;
    for (const LegacyTypeCategoryRow& row : LegacyTypeCategoryTable().first(kLegacyTypeCategoryRows - 1)) {
        std::string want = row.categories;
        for (const Hidden& h : hidden) {
            if (row.kind == std::string_view(h.kind) && row.typeCode == std::string_view(h.code) &&
                row.categories == std::string_view(h.hiddenList)) {
                want = h.firstList;
                ++foundHidden;
            }
        }
        SCOPED_TRACE(std::string(row.kind) + " / " + row.typeCode);
        EXPECT_EQ(FindKindName(row.kind, row.typeCode).Str(), want);
        EXPECT_EQ(FindKindName(FlipCase(row.kind), FlipCase(row.typeCode)).Str(), want);
    }
    EXPECT_EQ(foundHidden, std::size(hidden));
}

TEST(LegacyTypeCategoryTableTest, Shape)
{
    const auto table = LegacyTypeCategoryTable();
    ASSERT_EQ(table.size(), 163u);
    EXPECT_STREQ(table.front().typeCode, "AA");
    EXPECT_STREQ(table[table.size() - 2].typeCode, "ZY");
    const LegacyTypeCategoryRow& end = table.back();
    EXPECT_STREQ(end.kind, "");
    EXPECT_STREQ(end.typeCode, "");
    EXPECT_STREQ(end.categories, "");
    size_t anyKind = 0;
    for (const LegacyTypeCategoryRow& row : table.first(table.size() - 1)) {
        SCOPED_TRACE(std::string(row.kind) + " / " + row.typeCode);
        EXPECT_NE(row.categories[0], '\0');
        const std::string_view code = row.typeCode;
        EXPECT_TRUE(code.size() == 2 || code.size() == 3);
        for (char c : code)
            EXPECT_TRUE(c >= 'A' && c <= 'Z');
        for (const char* k = row.kind; *k; ++k)
            EXPECT_FALSE(*k >= 'A' && *k <= 'Z');
        anyKind += row.kind[0] == '\0';
    }
    EXPECT_EQ(anyKind, 7u);
}

}  // namespace
