#include "kad/kinds/KindQualifierCategoryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

namespace {

Nyx::PString Upper(const Nyx::PString& text)
{
    std::string upper = text.Str();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return Nyx::PString(upper);
}

// The rows as the table is documented: "kind, qualifier, categories", "-"
// for an empty qualifier, entries separated by " | ".
const char* const kDocumentedRows =
    "fixedtrack, -, FIXD;SWT | bridge, road;tunnels, SPLN;TUN | bridge, road, SPLN;BRG | "
    "bridge, bridges, TK;BRG | bridge, tunnels, TK;TUN | bridge, track, TK | bridge, rails, TK | "
    "bridge, -, SPLN;BRG | spline, -, SPLN;BRG | track, road, SPLN | track, rails, TK | "
    "track, track, TK | track, -, SPLN | groundbrush, -, BRSH | groundtexture, -, TX;ENV;GRND | "
    "map, -, RT | industry, -, BD;IND;ACTV;FIXD | profile, -, SS | scenery, trackside, TO | "
    "scenery, -, SY;SCEN | mospeedboard, -, TO;?WS | mosignal, -, TO;?WA | mojunction, -, TO;?WX | "
    "mocrossing, -, FIXD;CROS | buildable, -, BD;BDB;FIXD | turntable, -, FIXD;TURN | "
    "traincar, tender, TR;TV;TEND | traincar, locomotive, TR;TV;LOCO | "
    "traincar, rollingstock, TR;TV;ROLL | traincar, -, TR;TV | consist, -, CN | water2, -, ?EW | "
    "environment, -, ?ENV | engine, -, TR;CMP;ESPC | steam-engine, -, TR;CMP;ESPC | "
    "bogey, -, TR;CMP;BOGY | interior, -, TR;CMP;INTR | pantograph, -, TR;CMP;PANT | "
    "hornsound, -, TR;CMP;HORN;SD | enginesound, -, TR;CMP;ESND;SD | region, -, REGN | activity, -, SC | "
    "behavior, -, RU;GEN | drivercharacter, -, DR | drivercommand, -, SQ;GEN | library, -, SLIB | "
    "kni-render-plugin, -, SLIB | servlet, -, SVLT | gameplaymenu, -, GMNU | product, -, PROD | "
    "product-category, -, PRDC | html-asset, -, HT | mesh, -, CMP;MESH | texture, -, CMP;TX | "
    "tracksound, -, CMP;TSND;SD | achievement-group, -, ACHG | achievement-category, -, ACHC | "
    "library, achievementvariable, SLIB;ACHU";

struct Row {
    std::string kind, qualifier, categories;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row)
{
    return out << row.kind << ", " << row.qualifier << ", " << row.categories;
}

std::vector<Row> DocumentedRows()
{
    std::vector<Row> rows;
    const std::string text = kDocumentedRows;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(" | ", at);
        if (end == std::string::npos)
            end = text.size();
        const std::string entry = text.substr(at, end - at);
        at = end + 3;
        const size_t first = entry.find(", ");
        const size_t second = entry.find(", ", first + 2);
        if (second == std::string::npos)
            return {};
        const std::string qualifier = entry.substr(first + 2, second - first - 2);
        rows.push_back({entry.substr(0, first), qualifier == "-" ? "" : qualifier, entry.substr(second + 2)});
    }
    rows.push_back({"", "", ""});
    return rows;
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

TEST(KindQualifierCategoryTableTest, RowsAreTheDocumentedOnes)
{
    const std::vector<Row> documented = DocumentedRows();
    ASSERT_EQ(documented.size(), kKindQualifierCategoryRows);
    const auto table = KindQualifierCategoryTable();
    ASSERT_EQ(table.size(), documented.size());
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ((Row{table[i].kind.Str(), table[i].qualifier.Str(), table[i].categories}), documented[i])
            << "row " << i;
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
