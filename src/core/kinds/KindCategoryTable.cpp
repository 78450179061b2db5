#include "core/kinds/KindCategoryTable.h"

#include <iterator>
#include <vector>

namespace {

struct Source {
    const char* categories;
    const char* name;
    uint32_t flag;
};

constexpr Source kRows[] = {
    {"QMT", "Tintery Template", 0},
    {"IND;ACTV", "Industry", 0},
    {"SWT;FIXD", "Fixed Track", 0},
    {"BD", "Building", 0},
    {"HT", "HTML", 0},
    {"PP", "People", 0},
    {"CMP;MESH", "Mesh", 0},
    {"CY", "Commodity", 0},
    {"RD", "Road", 0},
    {"RT", "Route", 0},
    {"RU", "Rule", 0},
    {"SC", "Scenario", 0},
    {"SQ", "Script", 0},
    {"SS", "Session", 0},
    {"TP", "Topology", 0},
    {"TX;ENV", "TextureEnv", 1},
    {"TX", "TextureNonEnv", 0},
    {"FA", "Fauna", 0},
    {"FL", "Flora", 0},
    {"TK", "Track", 0},
    {"TK;BRG", "Bridge", 1},
    {"TK;SPL", "Spline", 1},
    {"TK;TUN", "Tunnel", 1},
    {"TO", "Track Object", 0},
    {"VE", "Vehicle", 0},
    {"SD", "Sound", 0},
    {"DR", "Driver", 0},
    {"REGN", "Region", 0},
    {"SPLN", "Spline", 0},
    {"SY", "Scenery", 0},
    {"TR;CMP", "Train Component", 0},
    {"TR;CMP;ESPC", "Train Engine", 0},
    {"TR", "Train", 0},
    {"MS", "Miscellaneous", 0},
    {"FIXD", "Fixed Track", 0},
    {"", "", 0},
};
static_assert(std::size(kRows) == kKindCategoryRows);

}  // namespace

std::span<const KindCategoryRow> KindCategoryTable()
{
    // Never destroyed: a static destructor of another unit may still read it.
    static const std::vector<KindCategoryRow>* rows = [] {
        auto* built = new std::vector<KindCategoryRow>;
        built->reserve(std::size(kRows));
        for (const Source& row : kRows)
            built->push_back({row.categories, Nyx::PStringCache::Create(row.name), row.flag});
        return built;
    }();
    return *rows;
}
