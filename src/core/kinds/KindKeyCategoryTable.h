// The lower-case keys of asset kinds by their category lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "nyx/base/PString.h"

struct KindKeyCategoryRow {
    const char* categories;  // ";"-separated category codes; "" for the catch-all
    Nyx::PString kindKey;    // lower case
    int32_t flag;            // 1 on TX;ENV, -1 on the catch-all; nothing reads it yet
};

// Every row, ending with a row of empty texts. The keys are interned on the
// first call, so any static initialiser may call it; the rows are never
// changed or freed and may be read from any thread.
std::span<const KindKeyCategoryRow> KindKeyCategoryTable();
inline constexpr size_t kKindKeyCategoryRows = 27;
