// The user's language setting, as the asset-database daemon keeps it, and
// the locale it selects for the validation library.
#pragma once

#include <cstdint>

namespace TETLib {

// The locale selected when the code matches no row, or there is none:
// English (Australia).
inline constexpr uint32_t kDefaultLocaleId = 0x0C09;

// The locale of a language code, compared without regard to case; the
// default for a null or unlisted code. An empty code is the caller's to
// replace ("US") before it asks.
uint32_t LocaleIdForLanguageCode(const char* code);

}  // namespace TETLib
