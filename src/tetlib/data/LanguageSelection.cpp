#include "tetlib/data/LanguageSelection.h"

#include <strings.h>

namespace TETLib {

namespace {

struct LanguageRow {
    const char* code;
    uint32_t localeId;
};

constexpr LanguageRow kLanguages[] = {
    {"EN", 0x0C09}, {"AU", 0x0C09}, {"US", 0x0C09}, {"UK", 0x0809}, {"DE", 0x0407}, {"FR", 0x040C},
    {"IT", 0x0410}, {"RU", 0x0419}, {"CZ", 0x0405}, {"PL", 0x0415}, {"ES", 0x0C0A}, {"CH", 0x100C},
    {"SE", 0x041D}, {"CN", 0x0404}, {"NL", 0x0413}, {"KR", 0x0412}, {"HU", 0x040E},
};

}  // namespace

uint32_t LocaleIdForLanguageCode(const char* code)
{
    if (!code)
        return kDefaultLocaleId;
    for (const LanguageRow& row : kLanguages)
        if (::strcasecmp(code, row.code) == 0)
            return row.localeId;
    return kDefaultLocaleId;
}

}  // namespace TETLib
