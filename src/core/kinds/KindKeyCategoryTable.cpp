#include "core/kinds/KindKeyCategoryTable.h"

#include <iterator>
#include <vector>

namespace {

struct Source {
    const char* categories;
    const char* name;
    int32_t flag;
};

constexpr Source kRows[] = {
    {"QMT", "tinterytemplate", 0},
    {"BD", "building", 0},
    {"SQ", "script", 0},
    {"HT", "html", 0},
    {"PP", "people", 0},
    {"CMP;MESH", "mesh", 0},
    {"CY", "commodity", 0},
    {"RD", "road", 0},
    {"RT", "route", 0},
    {"RU", "rule", 0},
    {"SC", "scenario", 0},
    {"SS", "session", 0},
    {"TP", "topology", 0},
    {"TX;ENV", "textureenv", 1},
    {"TX", "texturenonenv", 0},
    {"TK", "track", 0},
    {"TO", "trackobjects", 0},
    {"VE", "vehicle", 0},
    {"SD", "sound", 0},
    {"FA", "fauna", 0},
    {"FL", "flora", 0},
    {"DR", "driver", 0},
    {"TR", "train", 0},
    {"SY", "scenery", 0},
    {"MS", "misc", 0},
    {"", "misc", -1},
    {"", "", 0},
};
static_assert(std::size(kRows) == kKindKeyCategoryRows);

}  // namespace

std::span<const KindKeyCategoryRow> KindKeyCategoryTable()
{
    // Never destroyed: a static destructor of another unit may still read it.
    static const std::vector<KindKeyCategoryRow>* rows = [] {
        auto* built = new std::vector<KindKeyCategoryRow>;
        built->reserve(std::size(kRows));
        for (const Source& row : kRows)
            built->push_back({row.categories, Nyx::PStringCache::Create(row.name), row.flag});
        return built;
    }();
    return *rows;
}
