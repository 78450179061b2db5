// The display names of asset kinds by their category lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "nyx/base/PString.h"

struct KindCategoryRow {
    const char* categories;   // ";"-separated category codes
    Nyx::PString displayName;
    uint32_t flag;            // 1 on TX;ENV and the TK sub-lists; nothing reads it yet
};

// Every row, ending with a row of empty texts. The names are interned on the
// first call, so any static initialiser may call it; the rows are never
// changed or freed and may be read from any thread.
std::span<const KindCategoryRow> KindCategoryTable();
inline constexpr size_t kKindCategoryRows = 36;
