// Script strings: reference-counted texts, made in a script context and
// tracked by it.
#pragma once

#include <cstdint>
#include <string_view>

#include "gs/runtime/objects/GSObject.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "nyx/base/String.h"

namespace GSRuntime {

class GSString : public GSObjectReference, public Nyx::String {
public:
    // With one count (the caller's), tracked in the context if any.
    explicit GSString(GSContext* context, std::string_view text = {});
    // The two texts joined, made in one allocation.
    GSString(GSContext* context, std::string_view first, std::string_view second);
    ~GSString() override;

    GSSlot* GetInstance() override { return &view_; }
    void LastReferenceGone() override { delete this; }

    // The string a reference points at, or null for any other value.
    static GSString* OfPart(GSSlot* part) noexcept
    {
        GSScriptInstance* instance = GSScriptInstance::OfPart(part);
        return instance->valueKind == GSScriptInstance::kStringValue ? static_cast<GSString*>(instance->owner)
                                                                     : nullptr;
    }
    GSSlot Reference() noexcept { return MakeReference(&view_); }
    GSScriptInstance& Instance() noexcept { return instance_; }

    // The target receives characters [start, end): start below 0 is 0, end
    // below 0 or past the length is the length. False when end < start.
    bool Substring(GSString& target, int32_t start, int32_t end) const;
    // The text becomes its first `start` characters, the source's text and
    // its characters from `end`, clamped as Substring. False when end < start.
    bool ReplaceRange(int32_t start, int32_t end, const GSString* source);
    // Clamps a range as Substring does; false when end < start.
    static bool ClampRange(int64_t length, int32_t& start, int32_t& end) noexcept;

private:
    GSScriptInstance instance_;
    GSSlot view_ = 0;  // must follow the instance: references point here
};

}  // namespace GSRuntime
