#include "nyx/gfx/chunks/VertexType.h"

namespace Nyx {

namespace {

constexpr VertexType MakeType(uint32_t id, uint32_t size, int32_t position, int32_t colour, int32_t normal,
                              int32_t texCoord)
{
    VertexType t(id, size);
    t.itemOffset[kItemPosition] = position;
    t.itemOffset[kItemColour] = colour;
    t.itemOffset[kItemNormal] = normal;
    t.itemOffset[kItemTexCoord0] = texCoord;
    return t;
}

constexpr VertexType WithExtraVector(VertexType t, int32_t offset)
{
    t.itemOffset[kItemExtraVector] = offset;
    return t;
}

constexpr VertexType kTypes[] = {
    MakeType(kVertexTypePNT, 32, 0, -1, 12, 24),
    MakeType(kVertexTypePCT, 24, 0, 12, -1, 16),
    WithExtraVector(MakeType(kVertexTypePNTA, 44, 0, -1, 12, 24), 32),
};

}  // namespace

uint32_t VertexItemSize(uint32_t item) noexcept
{
    switch (item) {
    case kItemPosition:
    case kItemNormal:
    case kItemExtraVector:
        return 12;
    case kItemColour:
    case kItemColour2:
    case kItemPackedWeights:
    case kItemBoneIndices:
        return 4;
    default:
        if (item >= kItemWeights1 && item <= kItemWeights4)
            return 4 * (item - kItemWeights1 + 1);
        if (item >= kItemTexCoord0 && item <= kItemTexCoord7)
            return 8;
        return 0;
    }
}

bool VertexType::CreateStreams(uint32_t count) noexcept
{
    if (count > kMaxStreams || itemCount_ != 0)
        return false;
    streamCount_ = count;
    return true;
}

bool VertexType::CreateItems(uint32_t count) noexcept
{
    if (count > kMaxItems || count < itemCount_)
        return false;
    itemCapacity_ = count;
    return true;
}

bool VertexType::Append(const VertexTypeItem& item, std::string_view name) noexcept
{
    if (itemCount_ >= itemCapacity_ || item.type >= kItemCount || itemOffset[item.type] >= 0)
        return false;
    VertexTypeItem& to = items_[itemCount_++];
    to = item;
    const size_t length = name.size() < sizeof(to.name) - 1 ? name.size() : sizeof(to.name) - 1;
    for (size_t i = 0; i < length; ++i)
        to.name[i] = name[i];
    to.name[length] = 0;
    return true;
}

bool VertexType::AddItem(uint32_t type, uint32_t stream, int32_t index, uint32_t dataType, uint32_t semantic,
                         std::string_view name, int32_t usage, int32_t usageIndex) noexcept
{
    const uint32_t bytes = VertexItemSize(type);
    if (stream >= streamCount_ || bytes == 0)
        return false;
    VertexTypeItem item;
    item.type = type;
    item.stream = stream;
    item.index = index;
    item.dataType = dataType;
    item.semantic = semantic;
    item.usage = usage;
    item.usageIndex = usageIndex;
    if (!Append(item, name))
        return false;
    itemOffset[type] = static_cast<int32_t>(streamSize_[stream]);
    streamSize_[stream] += bytes;
    size = streamSize_[0];
    return true;
}

bool VertexType::AddItem(uint32_t type, uint32_t aliasOf, std::string_view name) noexcept
{
    if (aliasOf >= kItemCount || itemOffset[aliasOf] < 0)
        return false;
    VertexTypeItem item;
    item.type = type;
    item.aliasOf = static_cast<int32_t>(aliasOf);
    for (uint32_t i = 0; i < itemCount_; ++i)
        if (items_[i].type == aliasOf)
            item.stream = items_[i].stream;
    if (!Append(item, name))
        return false;
    itemOffset[type] = itemOffset[aliasOf];
    return true;
}

const VertexType* VertexType::Get(uint32_t id) noexcept
{
    for (const VertexType& t : kTypes)
        if (t.id == id)
            return &t;
    return nullptr;
}

}  // namespace Nyx
