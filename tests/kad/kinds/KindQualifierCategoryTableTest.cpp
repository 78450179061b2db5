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
    struct Row {
        const char* kind;
        const char* qualifiers;
        const char* categories;
    };
    const Row rows[] = {
        {"Bridge", "road;tunnels", "SPLN;TUN"},
        {"BRIDGE", "TUNNELS;Road", "SPLN;TUN"},  // both lower-cased; any order
        {"bridge", "road", "SPLN;BRG"},
        {"bridge", "canal", "SPLN;BRG"},  // the row without qualifier
        {"bridge", "", "SPLN;BRG"},
        {"bridge", "tunnels|road", "TK;TUN"},  // the list ends at its "|"
        {"library", "achievementvariable", "SLIB"},  // hidden by the row without qualifier
        {"traincar", "locomotive;tender", "TR;TV;TEND"},  // the first matching row
        {"traincar", "diesel", "TR;TV"},
        {"Track", "Road", "SPLN"},
        {"scenery", "trackside", "TO"},
        {"mesh", "road", "CMP;MESH"},
        {"no-such-kind", "road", ""},
        {"", "", ""},
        {"", "road", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind) + " / " + row.qualifiers);
        EXPECT_EQ(FindKindCategory(Nyx::PString(row.kind), Nyx::PString(row.qualifiers)), row.categories);
    }
}

TEST(KindQualifierCategoryTableTest, EveryRowIsFoundUnlessAnEarlierRowHidesIt)
{
    const auto table = KindQualifierCategoryTable();
    ASSERT_EQ(table.size(), 59u);
    size_t hidden = 0;
    for (const KindQualifierCategoryRow& row : table.first(table.size() - 1)) {
        SCOPED_TRACE(row.kind.Str() + " / " + row.qualifier.Str());
        // The one row that an earlier row of its kind hides.
        const bool isHidden = row.kind == Nyx::PString("library") && row.qualifier == Nyx::PString("achievementvariable");
        const std::string want = isHidden ? "SLIB" : row.categories;
        hidden += isHidden;
        EXPECT_EQ(FindKindCategory(row.kind, row.qualifier).Str(), want);
        EXPECT_EQ(FindKindCategory(Upper(row.kind), Upper(row.qualifier)).Str(), want);
        EXPECT_EQ(Nyx::PStringCache::ToLower(row.kind), row.kind);
        EXPECT_NE(row.categories[0], '\0');
    }
    EXPECT_EQ(hidden, 1u);
    EXPECT_STREQ(table.back().categories, "");
    EXPECT_TRUE(table.back().kind.Empty());
    EXPECT_TRUE(table.back().qualifier.Empty());
}

}  // namespace
