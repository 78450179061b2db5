#include "nyx/gfx/VertexType.h"

namespace Nyx {

namespace {

constexpr VertexType MakeType(uint32_t id, uint32_t size, int32_t position, int32_t colour, int32_t normal,
                              int32_t texCoord)
{
    VertexType t{id, size, {}};
    for (int32_t& offset : t.itemOffset)
        offset = -1;
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

const VertexType* VertexType::Get(uint32_t id) noexcept
{
    for (const VertexType& t : kTypes)
        if (t.id == id)
            return &t;
    return nullptr;
}

}  // namespace Nyx
