#include "core/kinds/LegacyTypeCategoryTable.h"

#include <iterator>

namespace {

constexpr LegacyTypeCategoryRow kRows[] = {
    {"traincar", "AA", "TR;TV;LOC;ELEC"},
    {"traincar", "AC", "TR;TV;LOC;ELEC"},
    {"traincar", "AE", "TR;TV;LOC;OTHR"},
    {"traincar", "AD", "TR;TV;LOC;ELEC"},
    {"traincar", "AG", "TR;TV;LOC;OTHR"},
    {"traincar", "AH", "TR;TV;LOC;DIES"},
    {"traincar", "AL", "TR;TV;LOC;DIES"},
    {"traincar", "AM", "TR;TV;LOC;OTHR"},
    {"traincar", "AS", "TR;TV;TDR"},
    {"traincar", "AS", "TR;TV;LOC;STEM"},
    {"traincar", "AT", "TR;TV;LOC;STEM"},
    {"buildable", "BB", "BD;BDB;FIXD"},
    {"scenery", "BC", "BD;COM"},
    {"scenery", "BH", "BD;RES"},
    {"scenery", "BI", "BD;IND;NACT"},
    {"industry", "BIN", "BD;IND;ACTV"},
    {"scenery", "BPN", "BD;STA;NACT"},
    {"industry", "BPF", "BD;STA;ACTV"},
    {"scenery", "BR", "BD;RRD"},
    {"scenery", "BS", "BD;SPC"},
    {"scenery", "BU", "BD;UTL"},
    {"scenery", "BT", "RD;ACC"},
    {"scenery", "BR", "TO;CAT"},
    {"traincar", "CB", "TR;TV;CAB"},
    {"traincar", "CC", "TR;TV;CAB"},
    {"environment", "ES", "TX;ENV;SKYS"},
    {"water2", "EW", "TX;ENV;AQUA"},
    {"", "FT", "FL;SCEN"},
    {"", "FC", "FL;SCEN"},
    {"", "FF", "FL;SCEN"},
    {"", "FO", "FL;SCEN"},
    {"", "FS", "FL;SCEN"},
    {"groundtexture", "GA", "TX;ENV;GRND"},
    {"groundtexture", "GL", "TX;ENV;GRND"},
    {"groundtexture", "GS", "TX;ENV;GRND"},
    {"mesh", "HM", "CMP;MESH"},
    {"product", "IC", "CY;CON"},
    {"product", "IP", "CY;PAX"},
    {"product", "IB", "CY;BKL"},
    {"product", "IL", "CY;LIQ"},
    {"texture", "JC", "TX;NEV"},
    {"texture", "JI", "TX;NEV"},
    {"texture", "JO", "TX;NEV"},
    {"texture", "JP", "TX;NEV"},
    {"texture-group", "JO", "TX;NEV"},
    {"traincar", "LT", "TR;TV;TRM"},
    {"traincar", "LS", "TR;TV;LTR"},
    {"traincar", "LM", "TR;TV;MNR"},
    {"traincar", "MA", "TR;TV;MNT"},
    {"traincar", "MB", "TR;TV;FRT;HOPP"},
    {"traincar", "MC", "TR;TV;MNT"},
    {"traincar", "MD", "TR;TV;MNT"},
    {"traincar", "ME", "TR;TV;MNT"},
    {"traincar", "MF", "TR;TV;MNT"},
    {"traincar", "MI", "TR;TV;MNT"},
    {"traincar", "MT", "TR;TV;MNT"},
    {"traincar", "MP", "TR;TV;MNT"},
    {"traincar", "MS", "TR;TV;MNT"},
    {"traincar", "MX", "TR;TV;MNT"},
    {"traincar", "MW", "TR;TV;MNT"},
    {"", "OA", "FA"},
    {"", "OH", "PP"},
    {"drivercharacter", "OHD", "DR"},
    {"traincar", "PA", "TR;TV;PAX;SEAT"},
    {"traincar", "PC", "TR;TV;PAX;SEAT"},
    {"traincar", "PD", "TR;TV;PAX;SEAT"},
    {"traincar", "PO", "TR;TV;PAX;SEAT"},
    {"traincar", "PB", "TR;TV;PAX;MAIL"},
    {"traincar", "PM", "TR;TV;PAX;MAIL"},
    {"traincar", "PS", "TR;TV;PAX;OTHR"},
    {"traincar", "PP", "TR;TV;PAX;OTHR"},
    {"traincar", "PL", "TR;TV;PAX;OTHR"},
    {"traincar", "PH", "TR;TV;PAX;OTHR"},
    {"traincar", "PR", "TR;TV;PAX;OTHR"},
    {"traincar", "PU", "TR;TV;PAX;OTHR"},
    {"traincar", "PV", "TR;TV;PAX;OTHR"},
    {"traincar", "PX", "TR;TV;PAX;OTHR"},
    {"traincar", "RA", "TR;TV;RCR;ELEC"},
    {"traincar", "RC", "TR;TV;RCR;ELEC"},
    {"traincar", "RD", "TR;TV;RCR;DIES"},
    {"traincar", "RH", "TR;TV;RCR;DIES"},
    {"traincar", "RP", "TR;TV;RCR;DIES"},
    {"traincar", "RS", "TR;TV;RCR;STEM"},
    {"traincar", "RP", "TR;TV;RCR;OTHR"},
    {"track", "SF", "SY;FNC;SPLN"},
    {"track", "SP", "SY;SPLN"},
    {"track", "SR", "RD;SPLN"},
    {"track", "SS", "SY;PWL;SPLN"},
    {"track", "SV", "FL;SPLN"},
    {"bridge", "TB", "TK;BRG"},
    {"bridge", "TT", "TK;TUN"},
    {"track", "TR", "TK;RLS"},
    {"spline", "SP", "RD;SPLN"},
    {"bridge", "TR", "TK;RLS"},
    {"fixedtrack", "TF", "RLS;FIXD;SWT"},
    {"scenery", "VA", "VE;AIR"},
    {"scenery", "VL", "VE;LND"},
    {"scenery", "VS", "VE;SEA"},
    {"scenery", "WA", "TO;SIG"},
    {"scenery", "WS", "TO;SIN"},
    {"scenery", "WX", "TO"},
    {"traincar", "XT", "TR;TV;FRT;TANK"},
    {"traincar", "XTA", "TR;TV;FRT;TANK"},
    {"traincar", "XTS", "TR;TV;FRT;TANK"},
    {"traincar", "XTM", "TR;TV;FRT;TANK"},
    {"traincar", "XF", "TR;TV;FRT;FLAT"},
    {"traincar", "XFA", "TR;TV;FRT;FLAT"},
    {"traincar", "XFC", "TR;TV;FRT;FLAT"},
    {"traincar", "XFD", "TR;TV;FRT;FLAT"},
    {"traincar", "XFH", "TR;TV;FRT;FLAT"},
    {"traincar", "XFM", "TR;TV;FRT;FLAT"},
    {"traincar", "XA", "TR;TV;FRT;RACK"},
    {"traincar", "XAA", "TR;TV;FRT;RACK"},
    {"traincar", "XAB", "TR;TV;FRT;RACK"},
    {"traincar", "XG", "TR;TV;FRT;HOPP"},
    {"traincar", "XGB", "TR;TV;FRT;HOPP"},
    {"traincar", "XGC", "TR;TV;FRT;HOPP"},
    {"traincar", "XGE", "TR;TV;FRT;HOPP"},
    {"traincar", "XGR", "TR;TV;FRT;HOPP"},
    {"traincar", "XGS", "TR;TV;FRT;HOPP"},
    {"traincar", "XHC", "TR;TV;FRT;HOPP"},
    {"traincar", "XHB", "TR;TV;FRT;HOPP"},
    {"traincar", "XHE", "TR;TV;FRT;HOPP"},
    {"traincar", "XHR", "TR;TV;FRT;HOPP"},
    {"traincar", "XHS", "TR;TV;FRT;HOPP"},
    {"traincar", "XHT", "TR;TV;FRT;HOPP"},
    {"traincar", "XGT", "TR;TV;FRT;HOPP"},
    {"traincar", "XB", "TR;TV;FRT;REEF"},
    {"traincar", "XBD", "TR;TV;FRT;REEF"},
    {"traincar", "XBG", "TR;TV;FRT;REEF"},
    {"traincar", "XBI", "TR;TV;FRT;REEF"},
    {"traincar", "XR", "TR;TV;FRT;REEF"},
    {"traincar", "XRI", "TR;TV;FRT;REEF"},
    {"traincar", "XRM", "TR;TV;FRT;REEF"},
    {"traincar", "XV", "TR;TV;FRT;REEF"},
    {"traincar", "XVG", "TR;TV;FRT;REEF"},
    {"traincar", "XVP", "TR;TV;FRT;REEF"},
    {"traincar", "XL", "TR;TV;FRT;ANTX"},
    {"traincar", "XLA", "TR;TV;FRT;ANTX"},
    {"traincar", "XLC", "TR;TV;FRT;ANTX"},
    {"traincar", "XLH", "TR;TV;FRT;ANTX"},
    {"traincar", "XI", "TR;TV;FRT;OTHR"},
    {"traincar", "XIB", "TR;TV;FRT;OTHR"},
    {"traincar", "XIT", "TR;TV;FRT;OTHR"},
    {"traincar", "XS", "TR;TV;FRT;OTHR"},
    {"traincar", "XSN", "TR;TV;FRT;OTHR"},
    {"traincar", "XSU", "TR;TV;FRT;OTHR"},
    {"drivercommand", "YD", "SQ;GEN"},
    {"htmlasset", "YH", "HT"},
    {"map", "YM", "RT"},
    {"profile", "YP", "SS"},
    {"region", "YX", "REGN"},
    {"behavior", "YR", "RU;GEN"},
    {"activity", "YS", "SC"},
    {"traincar", "ZE", "TR;CMP;ESPC"},
    {"hornsound", "ZH", "TR;CMP;HORN"},
    {"interior", "ZI", "TR;CMP;INTR"},
    {"pantograph", "ZP", "TR;CMP;PANT"},
    {"enginesound", "ZS", "TR;CMP;ESND"},
    {"bogey", "ZB", "TR;CMP;BOGY"},
    {"tintery-template", "ZX", "QMT"},
    {"tintery-skin", "ZY", "QMS"},
    {"", "", ""},
};
static_assert(std::size(kRows) == kLegacyTypeCategoryRows);

constexpr char FoldCase(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

}  // namespace

std::span<const LegacyTypeCategoryRow> LegacyTypeCategoryTable() noexcept
{
    return kRows;
}

Nyx::String FindKindName(std::string_view kind, std::string_view typeCode)
{
    for (const LegacyTypeCategoryRow& row : kRows) {
        if (row.categories[0] == '\0')
            break;
        const bool kindMatches = kind.empty() || row.kind[0] == '\0' || EqualIgnoringCase(kind, row.kind);
        if (kindMatches && EqualIgnoringCase(typeCode, row.typeCode))
            return row.categories;
    }
    return {};
}
