#include "kaddaemon/KindCategory.h"

#include <cctype>

namespace kaddaemon {
namespace {

struct Row {
    std::string_view kind;
    std::string_view codes;
};

constexpr Row kRows[] = {
    {"fixedtrack", "FIXD;SWT"},
    {"bridge", "SPLN;BRG"},
    {"spline", "SPLN;BRG"},
    {"track", "SPLN"},
    {"groundbrush", "BRSH"},
    {"groundtexture", "TX;ENV;GRND"},
    {"map", "RT"},
    {"industry", "BD;IND;ACTV;FIXD"},
    {"profile", "SS"},
    {"scenery", "SY;SCEN"},
    {"mospeedboard", "TO;?WS"},
    {"mosignal", "TO;?WA"},
    {"mojunction", "TO;?WX"},
    {"mocrossing", "FIXD;CROS"},
    {"buildable", "BD;BDB;FIXD"},
    {"turntable", "FIXD;TURN"},
    {"traincar", "TR;TV"},
    {"consist", "CN"},
    {"water2", "?EW"},
    {"environment", "?ENV"},
    {"engine", "TR;CMP;ESPC"},
    {"steam-engine", "TR;CMP;ESPC"},
    {"bogey", "TR;CMP;BOGY"},
    {"interior", "TR;CMP;INTR"},
    {"pantograph", "TR;CMP;PANT"},
    {"hornsound", "TR;CMP;HORN;SD"},
    {"enginesound", "TR;CMP;ESND;SD"},
    {"region", "REGN"},
    {"activity", "SC"},
    {"behavior", "RU;GEN"},
    {"drivercharacter", "DR"},
    {"drivercommand", "SQ;GEN"},
    {"library", "SLIB"},
    {"kni-render-plugin", "SLIB"},
    {"servlet", "SVLT"},
    {"gameplaymenu", "GMNU"},
    {"product", "PROD"},
    {"product-category", "PRDC"},
    {"html-asset", "HT"},
    {"mesh", "CMP;MESH"},
    {"texture", "CMP;TX"},
    {"tracksound", "CMP;TSND;SD"},
    {"achievement-group", "ACHG"},
    {"achievement-category", "ACHC"},
};

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::string KindCategory(std::string_view kind)
{
    for (const Row& row : kRows)
        if (SameIgnoringCase(row.kind, kind))
            return std::string(row.codes);
    return std::string();
}

}  // namespace kaddaemon
