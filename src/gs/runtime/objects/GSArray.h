// Script arrays: reference-counted, made in a script context and tracked
// by it. Elements are plain values (kind 0) or references (kind 1, each
// element owning one count).
#pragma once

#include <cstdint>
#include <vector>

#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"

namespace GSRuntime {

class GSArray : public GSObjectReference {
public:
    static constexpr uint8_t kPlainElements = 0;
    static constexpr uint8_t kReferenceElements = 1;

    // Empty, with one count (the caller's), tracked in the context if any.
    GSArray(GSContext* context, uint8_t elementKind);
    ~GSArray() override;

    GSSlot* GetInstance() override { return &view_; }
    void LastReferenceGone() override { delete this; }

    // The array a reference points at, or null for any other value.
    // The plain-element array a reference word names, or null; what the
    // interpreter's element steps ask first.
    static GSArray* PlainOf(GSSlot value) noexcept
    {
        if (!IsReference(value))
            return nullptr;
        GSSlot* part = ReferencePart(value);
        GSScriptInstance* instance = GSScriptInstance::OfZeroPart(part);
        return part[0] == 0 && instance->valueKind == GSScriptInstance::kArrayValue
                   ? static_cast<GSArray*>(instance->owner)
                   : nullptr;
    }
    static GSArray* OfPart(GSSlot* part) noexcept
    {
        GSScriptInstance* instance = GSScriptInstance::OfPart(part);
        return instance->valueKind & GSScriptInstance::kArrayValue ? static_cast<GSArray*>(instance->owner)
                                                                   : nullptr;
    }
    GSSlot Reference() noexcept { return MakeReference(&view_); }
    GSScriptInstance& Instance() noexcept { return instance_; }

    int32_t Count() const noexcept { return static_cast<int32_t>(elements_.size()); }
    uint8_t ElementKind() const noexcept { return kind_; }
    const GSSlot* Elements() const noexcept { return elements_.data(); }

    // Below 1 empties the array; above the count zero-fills. False when the
    // size is past the element limit or cannot be allocated.
    bool SetSize(int32_t n);
    // False for an index outside the elements.
    bool Get(int32_t i, GSSlot& value) const noexcept
    {
        if (uint32_t(i) >= elements_.size())
            return false;
        value = elements_[size_t(i)];
        return true;
    }
    // Element i, which must lie inside the elements.
    GSSlot At(int32_t i) const noexcept { return elements_[size_t(i)]; }
    void SetAt(int32_t i, GSSlot value) noexcept { elements_[size_t(i)] = value; }
    // Grows the array to i + 1 when i is past the end; false for i < 0 or
    // when it cannot grow.
    bool Set(int32_t i, GSSlot value);
    bool GetObjectAt(int32_t i, GSSlot& value, bool add) const noexcept
    {
        if (!Get(i, value)) {
            value = 0;
            return false;
        }
        if (add)
            AddReference(value);
        return true;
    }
    // The old element is released; the new one gains a count when asked.
    bool SetObjectAt(int32_t i, GSSlot value, bool add);
    // This array becomes a copy of source's [start, end): start below 0 is
    // 0, end below 0 or past the count is the count. False when end < start
    // or the element kinds differ.
    bool CopyRange(const GSArray& source, int32_t start, int32_t end);
    // [start, end) is replaced by the source's elements (none for null):
    // start below 0 is 0, end below 0 is the count; a start past the count
    // pads with zero elements. False when end < start, the kinds differ or
    // the result is past the element limit.
    bool ReplaceRange(int32_t start, int32_t end, const GSArray* source);

private:
    void ReleaseElements(size_t from, size_t to);

    std::vector<GSSlot> elements_;
    uint8_t kind_;
    GSScriptInstance instance_;
    GSSlot view_ = 0;  // must follow the instance: references point here
};

}  // namespace GSRuntime
