// The KUID list: 128 KUIDs a block, every slot of a fresh block holding the
// null KUID.
#pragma once

#include <algorithm>
#include <cstdint>

#include "config/kuid/KUID.h"
#include "core/containers/BlockRing.h"

struct KUIDRingTraits : BlockRingTraits {
    static void InitBlock(KUID* slots, uint32_t n) noexcept { std::fill_n(slots, n, KUID::Null); }
};

using KUIDRing = BlockRing<KUID, 128, KUIDRingTraits>;
