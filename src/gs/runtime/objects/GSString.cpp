#include "gs/runtime/objects/GSString.h"

#include "gs/runtime/objects/GSContext.h"

namespace GSRuntime {

GSString::GSString(GSContext* context, std::string_view text)
    : GSObjectReference(kString), Nyx::String(text), instance_(this, nullptr, GSScriptInstance::kStringValue)
{
    if (context)
        context->Tracked().Register(instance_);
}

GSString::GSString(GSContext* context, std::string_view first, std::string_view second)
    : GSObjectReference(kString), instance_(this, nullptr, GSScriptInstance::kStringValue)
{
    s_.reserve(first.size() + second.size());
    s_.append(first).append(second);
    if (context)
        context->Tracked().Register(instance_);
}

GSString::~GSString() { instance_.GSTrackedObject::Detach(); }

bool GSString::ClampRange(int64_t length, int32_t& start, int32_t& end) noexcept
{
    if (start < 0)
        start = 0;
    if (end < 0 || end > length)
        end = int32_t(length);
    return end >= start;
}

bool GSString::Substring(GSString& target, int32_t start, int32_t end) const
{
    if (!ClampRange(s_.size(), start, end))
        return false;
    target.s_.assign(s_, size_t(start), size_t(end - start));
    return true;
}

bool GSString::ReplaceRange(int32_t start, int32_t end, const GSString* source)
{
    if (!ClampRange(s_.size(), start, end))
        return false;
    std::string text = s_.substr(0, size_t(start));
    if (source)
        text += source->s_;
    text.append(s_, size_t(end), std::string::npos);
    s_.swap(text);
    return true;
}

}  // namespace GSRuntime
