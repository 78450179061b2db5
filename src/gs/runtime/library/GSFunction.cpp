#include "gs/runtime/library/GSFunction.h"

#include <algorithm>

#include "core/streams/LittleEndian.h"

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
    entryDepths.assign(size_t(codeSize) * 2, 0);
    for (const DepthRange& r : depthRanges) {
        entryDepths[2 * size_t(r.offset)] = int16_t(std::max(r.lowest, -kCut));
        entryDepths[2 * size_t(r.offset) + 1] = int16_t(std::min(r.highest, kCut));
    }
}

}  // namespace GSRuntime
