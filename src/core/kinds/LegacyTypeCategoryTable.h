// The category lists of the two- and three-letter type codes that older
// asset configs carry, by kind; used when such a config is upgraded.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "nyx/base/String.h"

struct LegacyTypeCategoryRow {
    const char* kind;        // "" matches any kind
    const char* typeCode;
    const char* categories;  // ";"-separated category codes
};

// Every row, in lookup order, ending with a row of empty texts. A (kind,
// code) pair that occurs twice is only ever found in its first row.
std::span<const LegacyTypeCategoryRow> LegacyTypeCategoryTable() noexcept;
inline constexpr size_t kLegacyTypeCategoryRows = 163;

// The category list of the first row whose type code equals the given one
// and whose kind equals the given one, both ignoring ASCII case; a row
// without a kind matches every kind, and an empty given kind every row. The
// empty string when no row matches.
Nyx::String FindKindName(std::string_view kind, std::string_view typeCode);
