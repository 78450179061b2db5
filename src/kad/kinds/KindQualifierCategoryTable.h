// The category lists that the script natives building asset filters give
// an asset kind, refined by the qualifiers a script passes with it.
#pragma once

#include <cstddef>
#include <span>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"

struct KindQualifierCategoryRow {
    Nyx::PString kind;        // lower case
    Nyx::PString qualifier;   // a category expression over the qualifiers; empty matches any
    const char* categories;   // ";"-separated category codes
};

// Every row, in lookup order, ending with a row of empty texts. A row
// without a qualifier hides every later row of its kind. The strings are
// interned on the first call, so any static initialiser may call it; the
// rows are never changed or freed and may be read from any thread.
std::span<const KindQualifierCategoryRow> KindQualifierCategoryTable();
inline constexpr size_t kKindQualifierCategoryRows = 59;

// The category list of the first row of the kind whose qualifier is empty or
// matches the given qualifier list; kind and list are lower-cased first. The
// empty string when no row matches.
Nyx::String FindKindCategory(const Nyx::PString& kind, const Nyx::PString& qualifiers);
