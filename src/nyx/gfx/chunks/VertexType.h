// Engine vertex types: a vertex layout with a size and, per engine item,
// where the item lies inside the vertex (negative when absent).
#pragma once

#include <cstdint>
#include <string_view>

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

// One item as a material described it: where it is read from and how.
struct VertexTypeItem {
    uint32_t type = 0;
    uint32_t stream = 0;
    int32_t index = -1;
    uint32_t dataType = 0;
    uint32_t semantic = 0;
    int32_t usage = -1;
    int32_t usageIndex = -1;
    int32_t aliasOf = -1;  // the item type this one reads, or -1
    char name[16] = {};
};

struct VertexType {
    static constexpr uint32_t kMaxStreams = 4;
    static constexpr uint32_t kMaxItems = 16;

    // A layout with no items yet: every offset -1.
    constexpr explicit VertexType(uint32_t typeId = 0, uint32_t bytes = 0) noexcept : id(typeId), size(bytes)
    {
        for (int32_t& offset : itemOffset)
            offset = -1;
    }

    uint32_t id;
    uint32_t size;  // bytes of one vertex of stream 0
    int32_t itemOffset[kItemCount] = {};

    // The stream an item of the type lies in; -1 when the type lacks it.
    // Built-in types keep every item in stream 0; a layout built item by
    // item knows each item's stream (an alias reads its target's).
    int32_t GetItemStream(uint32_t item) const noexcept
    {
        if (itemCount_ == 0)
            return item < kItemCount && itemOffset[item] >= 0 ? 0 : -1;
        for (uint32_t i = 0; i < itemCount_; ++i) {
            if (items_[i].type != item)
                continue;
            if (items_[i].aliasOf < 0)
                return static_cast<int32_t>(items_[i].stream);
            for (uint32_t j = 0; j < itemCount_; ++j) {
                if (items_[j].type == static_cast<uint32_t>(items_[i].aliasOf))
                    return static_cast<int32_t>(items_[j].stream);
            }
            return -1;
        }
        return -1;
    }
    // The engine's built-in type of the id, or null.
    static const VertexType* Get(uint32_t id) noexcept;

    // ---- a layout built item by item ----

    // False past kMaxStreams, or once items were added.
    bool CreateStreams(uint32_t count) noexcept;
    // Room for `count` items; false past kMaxItems or below those added.
    bool CreateItems(uint32_t count) noexcept;
    // Appends an item to the stream, after the stream's earlier items.
    // False without room, for an unknown stream or item type, or an item
    // type already there.
    bool AddItem(uint32_t type, uint32_t stream, int32_t index, uint32_t dataType, uint32_t semantic,
                 std::string_view name, int32_t usage, int32_t usageIndex) noexcept;
    // An item that reads an item already added (same place, no bytes of
    // its own); false when that one is missing.
    bool AddItem(uint32_t type, uint32_t aliasOf, std::string_view name) noexcept;

    uint32_t GetStreamCount() const noexcept { return streamCount_; }
    uint32_t GetItemCount() const noexcept { return itemCount_; }
    const VertexTypeItem& GetItem(uint32_t i) const noexcept { return items_[i < itemCount_ ? i : 0]; }
    uint32_t GetStreamSize(uint32_t stream) const noexcept { return stream < kMaxStreams ? streamSize_[stream] : 0; }

private:
    bool Append(const VertexTypeItem& item, std::string_view name) noexcept;

    uint32_t streamCount_ = 0;
    uint32_t itemCapacity_ = 0;
    uint32_t itemCount_ = 0;
    uint32_t streamSize_[kMaxStreams] = {};
    VertexTypeItem items_[kMaxItems] = {};
};

// The packed layouts the product's chunk templates use.
inline constexpr uint32_t kVertexTypePNT = 18;
inline constexpr uint32_t kVertexTypePCT = 19;
// Position, normal, texture coordinate and tangent (the extra vector).
inline constexpr uint32_t kVertexTypePNTA = 20;

}  // namespace Nyx
