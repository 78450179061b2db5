#include "core/kinds/LegacyTypeCategoryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string FlipCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return text;
}

// The rows as the table is documented: "kind CODE CATEGORIES", or "kind
// CODE, CODE each CATEGORIES" for several codes of one list, "(any)" for the
// empty kind; entries end with "; ".
const char* const kDocumentedRows =
    "traincar AA TR;TV;LOC;ELEC; traincar AC TR;TV;LOC;ELEC; traincar AE TR;TV;LOC;OTHR; "
    "traincar AD TR;TV;LOC;ELEC; traincar AG TR;TV;LOC;OTHR; traincar AH TR;TV;LOC;DIES; "
    "traincar AL TR;TV;LOC;DIES; traincar AM TR;TV;LOC;OTHR; traincar AS TR;TV;TDR; "
    "traincar AS TR;TV;LOC;STEM; traincar AT TR;TV;LOC;STEM; buildable BB BD;BDB;FIXD; "
    "scenery BC BD;COM; scenery BH BD;RES; scenery BI BD;IND;NACT; industry BIN BD;IND;ACTV; "
    "scenery BPN BD;STA;NACT; industry BPF BD;STA;ACTV; scenery BR BD;RRD; scenery BS BD;SPC; "
    "scenery BU BD;UTL; scenery BT RD;ACC; scenery BR TO;CAT; traincar CB TR;TV;CAB; "
    "traincar CC TR;TV;CAB; environment ES TX;ENV;SKYS; water2 EW TX;ENV;AQUA; (any) FT FL;SCEN; "
    "(any) FC FL;SCEN; (any) FF FL;SCEN; (any) FO FL;SCEN; (any) FS FL;SCEN; "
    "groundtexture GA TX;ENV;GRND; groundtexture GL TX;ENV;GRND; groundtexture GS TX;ENV;GRND; "
    "mesh HM CMP;MESH; product IC CY;CON; product IP CY;PAX; product IB CY;BKL; product IL CY;LIQ; "
    "texture JC TX;NEV; texture JI TX;NEV; texture JO TX;NEV; texture JP TX;NEV; "
    "texture-group JO TX;NEV; traincar LT TR;TV;TRM; traincar LS TR;TV;LTR; traincar LM TR;TV;MNR; "
    "traincar MA TR;TV;MNT; traincar MB TR;TV;FRT;HOPP; "
    "traincar MC, MD, ME, MF, MI, MT, MP, MS, MX, MW each TR;TV;MNT; (any) OA FA; (any) OH PP; "
    "drivercharacter OHD DR; traincar PA, PC, PD, PO each TR;TV;PAX;SEAT; "
    "traincar PB, PM each TR;TV;PAX;MAIL; traincar PS, PP, PL, PH, PR, PU, PV, PX each TR;TV;PAX;OTHR; "
    "traincar RA, RC each TR;TV;RCR;ELEC; traincar RD, RH, RP each TR;TV;RCR;DIES; "
    "traincar RS TR;TV;RCR;STEM; traincar RP TR;TV;RCR;OTHR; track SF SY;FNC;SPLN; track SP SY;SPLN; "
    "track SR RD;SPLN; track SS SY;PWL;SPLN; track SV FL;SPLN; bridge TB TK;BRG; bridge TT TK;TUN; "
    "track TR TK;RLS; spline SP RD;SPLN; bridge TR TK;RLS; fixedtrack TF RLS;FIXD;SWT; "
    "scenery VA VE;AIR; scenery VL VE;LND; scenery VS VE;SEA; scenery WA TO;SIG; scenery WS TO;SIN; "
    "scenery WX TO; traincar XT, XTA, XTS, XTM each TR;TV;FRT;TANK; "
    "traincar XF, XFA, XFC, XFD, XFH, XFM each TR;TV;FRT;FLAT; "
    "traincar XA, XAA, XAB each TR;TV;FRT;RACK; "
    "traincar XG, XGB, XGC, XGE, XGR, XGS, XHC, XHB, XHE, XHR, XHS, XHT, XGT each TR;TV;FRT;HOPP; "
    "traincar XB, XBD, XBG, XBI, XR, XRI, XRM, XV, XVG, XVP each TR;TV;FRT;REEF; "
    "traincar XL, XLA, XLC, XLH each TR;TV;FRT;ANTX; "
    "traincar XI, XIB, XIT, XS, XSN, XSU each TR;TV;FRT;OTHR; drivercommand YD SQ;GEN; htmlasset YH HT; "
    "map YM RT; profile YP SS; region YX REGN; behavior YR RU;GEN; activity YS SC; "
    "traincar ZE TR;CMP;ESPC; hornsound ZH TR;CMP;HORN; interior ZI TR;CMP;INTR; "
    "pantograph ZP TR;CMP;PANT; enginesound ZS TR;CMP;ESND; bogey ZB TR;CMP;BOGY; "
    "tintery-template ZX QMT; tintery-skin ZY QMS";

struct Row {
    std::string kind, code, categories;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row)
{
    return out << row.kind << " " << row.code << " " << row.categories;
}

std::vector<Row> DocumentedRows()
{
    std::vector<Row> rows;
    const std::string text = kDocumentedRows;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("; ", at);
        if (end == std::string::npos)
            end = text.size();
        std::istringstream entry(text.substr(at, end - at));
        at = end + 2;
        std::vector<std::string> words;
        for (std::string word; entry >> word;)
            words.push_back(word);
        if (words.size() < 3)
            return {};
        const std::string kind = words[0] == "(any)" ? "" : words[0];
        // "CODE CATEGORIES", or "CODE, ... CODE each CATEGORIES".
        const size_t codes = words.size() == 3 ? 1 : words.size() - 3;
        for (size_t i = 1; i <= codes; ++i) {
            std::string code = words[i];
            if (!code.empty() && code.back() == ',')
                code.pop_back();
            rows.push_back({kind, code, words.back()});
        }
    }
    rows.push_back({"", "", ""});
    return rows;
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

TEST(LegacyTypeCategoryTableTest, RowsAreTheDocumentedOnes)
{
    const std::vector<Row> documented = DocumentedRows();
    ASSERT_EQ(documented.size(), kLegacyTypeCategoryRows);
    const auto table = LegacyTypeCategoryTable();
    ASSERT_EQ(table.size(), documented.size());
    for (size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ((Row{table[i].kind, table[i].typeCode, table[i].categories}), documented[i]) << "row " << i;
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
