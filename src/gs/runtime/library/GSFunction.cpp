#include "gs/runtime/library/GSFunction.h"

#include <algorithm>

#include "core/streams/LittleEndian.h"
#include "gs/runtime/objects/GSValue.h"

namespace GSRuntime {

uint32_t GSFunction::ObjectLocal(uint32_t i) const noexcept { return LoadLE32(objectLocals + 4 * i); }

int GSFunction::GetLine(uint32_t codeOffset) const noexcept
{
    if (lineCount == 0)
        return -1;
    int line = static_cast<int>(LoadLE32(lines + 4));
    for (uint32_t i = 0; i < lineCount; ++i) {
        if (LoadLE32(lines + 8 * i) > codeOffset)
            break;
        line = static_cast<int>(LoadLE32(lines + 8 * i + 4));
    }
    return line;
}

const DepthRange* GSFunction::FindDepthRange(uint32_t codeOffset) const noexcept
{
    auto it = std::lower_bound(depthRanges.begin(), depthRanges.end(), codeOffset,
                               [](const DepthRange& r, uint32_t offset) { return r.offset < offset; });
    return it != depthRanges.end() && it->offset == codeOffset ? &*it : nullptr;
}

void GSFunction::IndexDepthRanges()
{
    constexpr int32_t kCut = 1025;
    constexpr int32_t kSlot = int32_t(sizeof(GSSlot));
    static_assert(kCut * kSlot <= INT16_MAX, "the cut depths fit the table in bytes");
    entryDepths.assign(size_t(codeSize) * 2, 0);
    for (const DepthRange& r : depthRanges) {
        entryDepths[2 * size_t(r.offset)] = int16_t(std::min(-r.lowest, kCut) * kSlot);
        entryDepths[2 * size_t(r.offset) + 1] = int16_t(std::min(r.highest, kCut) * kSlot);
    }
    const int32_t entryHighest = codeSize ? entryDepths[1] : 0;
    callRoom = std::max(frameReserve * kSlot, frameGrowth * kSlot + entryHighest);
    entryReachesBelow = codeSize && entryDepths[0] > 0;
}

}  // namespace GSRuntime
