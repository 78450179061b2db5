#include "core/kinds/KindCategoryTable.h"
#include "core/kinds/KindKeyCategoryTable.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// The rows of both tables as they are documented: "categories, name,
// flag", entries separated by " | "; "(empty)" is the empty list.
const char* const kDocumentedNames =
    "QMT, Tintery Template, 0 | IND;ACTV, Industry, 0 | SWT;FIXD, Fixed Track, 0 | BD, Building, 0 | "
    "HT, HTML, 0 | PP, People, 0 | CMP;MESH, Mesh, 0 | CY, Commodity, 0 | RD, Road, 0 | RT, Route, 0 | "
    "RU, Rule, 0 | SC, Scenario, 0 | SQ, Script, 0 | SS, Session, 0 | TP, Topology, 0 | "
    "TX;ENV, TextureEnv, 1 | TX, TextureNonEnv, 0 | FA, Fauna, 0 | FL, Flora, 0 | TK, Track, 0 | "
    "TK;BRG, Bridge, 1 | TK;SPL, Spline, 1 | TK;TUN, Tunnel, 1 | TO, Track Object, 0 | VE, Vehicle, 0 | "
    "SD, Sound, 0 | DR, Driver, 0 | REGN, Region, 0 | SPLN, Spline, 0 | SY, Scenery, 0 | "
    "TR;CMP, Train Component, 0 | TR;CMP;ESPC, Train Engine, 0 | TR, Train, 0 | MS, Miscellaneous, 0 | "
    "FIXD, Fixed Track, 0";
const char* const kDocumentedKeys =
    "QMT, tinterytemplate, 0 | BD, building, 0 | SQ, script, 0 | HT, html, 0 | PP, people, 0 | "
    "CMP;MESH, mesh, 0 | CY, commodity, 0 | RD, road, 0 | RT, route, 0 | RU, rule, 0 | SC, scenario, 0 | "
    "SS, session, 0 | TP, topology, 0 | TX;ENV, textureenv, 1 | TX, texturenonenv, 0 | TK, track, 0 | "
    "TO, trackobjects, 0 | VE, vehicle, 0 | SD, sound, 0 | FA, fauna, 0 | FL, flora, 0 | DR, driver, 0 | "
    "TR, train, 0 | SY, scenery, 0 | MS, misc, 0 | (empty), misc, -1";

struct Row {
    std::string categories, name;
    int64_t flag = 0;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row)
{
    return out << row.categories << ", " << row.name << ", " << row.flag;
}

std::vector<Row> DocumentedRows(const std::string& text)
{
    std::vector<Row> rows;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(" | ", at);
        if (end == std::string::npos)
            end = text.size();
        const std::string entry = text.substr(at, end - at);
        at = end + 3;
        const size_t first = entry.find(", ");
        const size_t last = entry.rfind(", ");
        if (first == std::string::npos || last == first)
            return {};
        const std::string categories = entry.substr(0, first);
        rows.push_back({categories == "(empty)" ? "" : categories, entry.substr(first + 2, last - first - 2),
                        std::stoll(entry.substr(last + 2))});
    }
    rows.push_back({"", "", 0});
    return rows;
}

TEST(KindCategoryTableTest, RowsAreTheDocumentedOnes)
{
    const std::vector<Row> names = DocumentedRows(kDocumentedNames);
    ASSERT_EQ(names.size(), kKindCategoryRows);
    const auto nameTable = KindCategoryTable();
    ASSERT_EQ(nameTable.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const KindCategoryRow& row = nameTable[i];
        EXPECT_EQ((Row{row.categories, row.displayName.Str(), row.flag}), names[i]) << "row " << i;
    }

    const std::vector<Row> keys = DocumentedRows(kDocumentedKeys);
    ASSERT_EQ(keys.size(), kKindKeyCategoryRows);
    const auto keyTable = KindKeyCategoryTable();
    ASSERT_EQ(keyTable.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const KindKeyCategoryRow& row = keyTable[i];
        EXPECT_EQ((Row{row.categories, row.kindKey.Str(), row.flag}), keys[i]) << "row " << i;
    }
}

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
