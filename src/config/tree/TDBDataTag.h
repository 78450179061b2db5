// A config tree leaf: one typed value.
#pragma once

#include "config/tree/ACSChunk.h"

class TDBDataTag final : public ACSChunk {
public:
    TDBDataTag() noexcept = default;

    const uint8_t* GetData() const override { return data_.Data(); }
    uint32_t GetDataSize() const override { return data_.Size(); }
    ACSValueType GetType() const override { return type_; }
    void SetValue(ACSValueType type, ACSRawData data) override;

    // The held value itself (null when the tag holds no bytes).
    const ACSRawData& RawData() const noexcept { return data_; }

private:
    ACSRawData data_;
    ACSValueType type_ = ACS_TYPE_NONE;
};
