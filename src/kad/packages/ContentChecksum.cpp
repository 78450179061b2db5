#include "kad/packages/ContentChecksum.h"

#include "config/tree/TagTreeOps.h"
#include "core/streams/LittleEndian.h"

namespace {

ContentChecksum OfContainerAt(const ChunkRef& container, int level)
{
    ContentChecksum total;
    if (!container || level > kMaxTreeDepth)
        return total;
    const uint32_t count = container->GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        Nyx::PString name;
        ChunkRef child;
        if (!container->GetChildAt(i, name, child) || !child)
            continue;
        const ContentChecksum part = child->GetType() == ACS_TYPE_CONTAINER
                                         ? OfContainerAt(child, level + 1)
                                         : ContentChecksum::OfBlock(child->GetData(), child->GetDataSize());
        total.sum += part.sum;
        total.size += part.size;
        if (total.sum == 0)
            total.sum = 1;
    }
    return total;
}

}  // namespace

ContentChecksum ContentChecksum::OfBlock(const uint8_t* data, uint32_t length) noexcept
{
    ContentChecksum result;
    if (length < 5 || !data)
        return result;
    const uint32_t words = length / 4;
    uint32_t s = 0;
    for (uint32_t i = 0; i < words; ++i) {
        const uint32_t t = s + LoadLE32(data + 4 * i);
        s = (t << 1) | (t >> 30);
    }
    result.sum = s == 0 ? 1 : s;
    result.size = words * 4;
    return result;
}

ContentChecksum ContentChecksum::OfContainer(const ChunkRef& container) { return OfContainerAt(container, 0); }

Nyx::String ContentChecksum::Text() const
{
    return Nyx::String::Printf("%d:%d", static_cast<int32_t>(size), static_cast<int32_t>(sum));
}
