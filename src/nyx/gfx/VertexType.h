// Engine vertex types: a vertex layout with a size and, per engine item,
// where the item lies inside the vertex (negative when absent).
#pragma once

#include <cstdint>

namespace Nyx {

// Engine item (stream) kinds.
enum VertexItem : uint32_t {
    kItemPosition = 1,
    kItemColour = 2,
    kItemColour2 = 3,
    kItemNormal = 4,
    kItemWeights1 = 5,  // 5..8: one to four float weights
    kItemWeights4 = 8,
    kItemPackedWeights = 9,
    kItemBoneIndices = 10,
    kItemTexCoord0 = 15,  // 15..22: texture-coordinate sets
    kItemTexCoord7 = 22,
    kItemExtraVector = 27,
    kItemCount = 28,
};

// Bytes one element of an item takes.
uint32_t VertexItemSize(uint32_t item) noexcept;

struct VertexType {
    uint32_t id;
    uint32_t size;
    int32_t itemOffset[kItemCount];

    // The registered type of the id, or null.
    static const VertexType* Get(uint32_t id) noexcept;
};

// The packed layouts the product's chunk templates use.
inline constexpr uint32_t kVertexTypePNT = 18;
inline constexpr uint32_t kVertexTypePCT = 19;
// Position, normal, texture coordinate and tangent (the extra vector).
inline constexpr uint32_t kVertexTypePNTA = 20;

}  // namespace Nyx
