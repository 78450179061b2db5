#include "gs/runtime/objects/GSArray.h"

#include <algorithm>
#include <new>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/objects/GSContext.h"

namespace GSRuntime {

GSArray::GSArray(GSContext* context, uint8_t elementKind)
    : GSObjectReference(kArray), kind_(elementKind), instance_(this, nullptr,
                GSScriptInstance::kArrayValue |
                    (elementKind == kReferenceElements ? GSScriptInstance::kReferenceElementsValue : 0))
{
    if (context)
        context->Tracked().Register(instance_);
}

GSArray::~GSArray()
{
    ReleaseElements(0, elements_.size());
    instance_.GSTrackedObject::Detach();
}

void GSArray::ReleaseElements(size_t from, size_t to)
{
    if (kind_ != kReferenceElements)
        return;
    for (size_t i = from; i < to && i < elements_.size(); ++i) {
        const GSSlot value = elements_[i];
        elements_[i] = 0;
        ReleaseReference(value);
    }
}

bool GSArray::SetSize(int32_t n)
{
    if (n < 1) {
        ReleaseElements(0, elements_.size());
        std::vector<GSSlot>().swap(elements_);
        return true;
    }
    if (n > RunLimits().maxArrayElements)
        return false;
    if (size_t(n) < elements_.size())
        ReleaseElements(size_t(n), elements_.size());
    try {
        elements_.resize(size_t(n), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool GSArray::Set(int32_t i, GSSlot value)
{
    // i + 1 is only formed once i is known to be below the limit.
    if (i < 0 || i >= RunLimits().maxArrayElements)
        return false;
    if (i >= Count() && !SetSize(i + 1))
        return false;
    elements_[size_t(i)] = value;
    return true;
}

bool GSArray::SetObjectAt(int32_t i, GSSlot value, bool add)
{
    if (i < 0 || i >= RunLimits().maxArrayElements)
        return false;
    if (i >= Count() && !SetSize(i + 1))
        return false;
    if (add)
        AddReference(value);
    const GSSlot old = elements_[size_t(i)];
    elements_[size_t(i)] = value;
    ReleaseReference(old);
    return true;
}

bool GSArray::CopyRange(const GSArray& source, int32_t start, int32_t end)
{
    const int32_t count = source.Count();
    if (start < 0)
        start = 0;
    if (end < 0 || end > count)
        end = count;
    if (end < start || source.kind_ != kind_)
        return false;
    std::vector<GSSlot> copy;
    try {
        copy.assign(source.elements_.begin() + start, source.elements_.begin() + end);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (kind_ == kReferenceElements) {
        for (GSSlot value : copy)
            AddReference(value);
    }
    ReleaseElements(0, elements_.size());
    elements_.swap(copy);
    return true;
}

bool GSArray::ReplaceRange(int32_t start, int32_t end, const GSArray* source)
{
    const int32_t count = Count();
    if (start < 0)
        start = 0;
    if (end < 0)
        end = count;
    if (end < start || (source && source->kind_ != kind_))
        return false;
    const int32_t keptEnd = std::min(end, count);
    const int64_t sourceCount = source ? source->Count() : 0;
    const int64_t size = int64_t(start) + sourceCount + std::max(0, count - end);
    if (size > RunLimits().maxArrayElements)
        return false;
    std::vector<GSSlot> built;
    try {
        built.reserve(size_t(size));
        built.insert(built.end(), elements_.begin(), elements_.begin() + std::min(start, count));
        built.resize(size_t(start), 0);
        if (source)
            built.insert(built.end(), source->elements_.begin(), source->elements_.end());
        if (end < count)
            built.insert(built.end(), elements_.begin() + end, elements_.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (kind_ == kReferenceElements && source) {
        for (GSSlot value : source->elements_)
            AddReference(value);
    }
    // The replaced elements go only now: the source may be this array.
    ReleaseElements(size_t(std::min(start, count)), size_t(keptEnd));
    elements_.swap(built);
    return true;
}

}  // namespace GSRuntime
