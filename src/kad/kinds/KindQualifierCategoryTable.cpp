#include "kad/kinds/KindQualifierCategoryTable.h"

#include <iterator>
#include <vector>

#include "kad/requests/CategoryExpression.h"

namespace {

struct Source {
    const char* kind;
    const char* qualifier;
    const char* categories;
};

constexpr Source kRows[] = {
    {"fixedtrack", "", "FIXD;SWT"},
    {"bridge", "road;tunnels", "SPLN;TUN"},
    {"bridge", "road", "SPLN;BRG"},
    {"bridge", "bridges", "TK;BRG"},
    {"bridge", "tunnels", "TK;TUN"},
    {"bridge", "track", "TK"},
    {"bridge", "rails", "TK"},
    {"bridge", "", "SPLN;BRG"},
    {"spline", "", "SPLN;BRG"},
    {"track", "road", "SPLN"},
    {"track", "rails", "TK"},
    {"track", "track", "TK"},
    {"track", "", "SPLN"},
    {"groundbrush", "", "BRSH"},
    {"groundtexture", "", "TX;ENV;GRND"},
    {"map", "", "RT"},
    {"industry", "", "BD;IND;ACTV;FIXD"},
    {"profile", "", "SS"},
    {"scenery", "trackside", "TO"},
    {"scenery", "", "SY;SCEN"},
    {"mospeedboard", "", "TO;?WS"},
    {"mosignal", "", "TO;?WA"},
    {"mojunction", "", "TO;?WX"},
    {"mocrossing", "", "FIXD;CROS"},
    {"buildable", "", "BD;BDB;FIXD"},
    {"turntable", "", "FIXD;TURN"},
    {"traincar", "tender", "TR;TV;TEND"},
    {"traincar", "locomotive", "TR;TV;LOCO"},
    {"traincar", "rollingstock", "TR;TV;ROLL"},
    {"traincar", "", "TR;TV"},
    {"consist", "", "CN"},
    {"water2", "", "?EW"},
    {"environment", "", "?ENV"},
    {"engine", "", "TR;CMP;ESPC"},
    {"steam-engine", "", "TR;CMP;ESPC"},
    {"bogey", "", "TR;CMP;BOGY"},
    {"interior", "", "TR;CMP;INTR"},
    {"pantograph", "", "TR;CMP;PANT"},
    {"hornsound", "", "TR;CMP;HORN;SD"},
    {"enginesound", "", "TR;CMP;ESND;SD"},
    {"region", "", "REGN"},
    {"activity", "", "SC"},
    {"behavior", "", "RU;GEN"},
    {"drivercharacter", "", "DR"},
    {"drivercommand", "", "SQ;GEN"},
    {"library", "", "SLIB"},
    {"kni-render-plugin", "", "SLIB"},
    {"servlet", "", "SVLT"},
    {"gameplaymenu", "", "GMNU"},
    {"product", "", "PROD"},
    {"product-category", "", "PRDC"},
    {"html-asset", "", "HT"},
    {"mesh", "", "CMP;MESH"},
    {"texture", "", "CMP;TX"},
    {"tracksound", "", "CMP;TSND;SD"},
    {"achievement-group", "", "ACHG"},
    {"achievement-category", "", "ACHC"},
    {"library", "achievementvariable", "SLIB;ACHU"},
    {"", "", ""},
};
static_assert(std::size(kRows) == kKindQualifierCategoryRows);

}  // namespace

std::span<const KindQualifierCategoryRow> KindQualifierCategoryTable()
{
    // Never destroyed: a static destructor of another unit may still read it.
    static const std::vector<KindQualifierCategoryRow>* rows = [] {
        auto* built = new std::vector<KindQualifierCategoryRow>;
        built->reserve(std::size(kRows));
        for (const Source& row : kRows)
            built->push_back({Nyx::PStringCache::Create(row.kind), Nyx::PStringCache::Create(row.qualifier), row.categories});
        return built;
    }();
    return *rows;
}

Nyx::String FindKindCategory(const Nyx::PString& kind, const Nyx::PString& qualifiers)
{
    // The table's kinds are interned lower case, so the lower-cased kind is
    // the very same string when a row names it.
    const Nyx::PString lowerKind = Nyx::PStringCache::ToLower(kind);
    const Nyx::PString lowerQualifiers = Nyx::PStringCache::ToLower(qualifiers);
    for (const KindQualifierCategoryRow& row : KindQualifierCategoryTable()) {
        if (row.kind.Empty())
            return row.categories;
        if (row.kind == lowerKind &&
            (row.qualifier.Empty() || CategoryExpression::Matches(row.qualifier.c_str(), lowerQualifiers.c_str())))
            return row.categories;
    }
    return {};
}
