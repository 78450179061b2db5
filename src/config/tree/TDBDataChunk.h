// A read-only view of one value of a loaded "ACS$" file. The bytes are
// borrowed from the file's payload (or, for a converted version-0 string,
// owned); SetValue keeps the base behaviour and changes nothing.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "config/formats/TDBBinaryFile.h"

class TDBDataChunk final : public ACSChunk {
public:
    TDBDataChunk(TDBBinaryFile* file, TDBRecordId id, ACSValueType type, ACSRawData data) noexcept;
    ~TDBDataChunk() override;

    const uint8_t* GetData() const override { return data_.Data(); }
    uint32_t GetDataSize() const override { return data_.Size(); }
    ACSValueType GetType() const override { return type_; }

    TDBBinaryFile* File() const noexcept { return file_; }
    TDBRecordId Id() const noexcept { return id_; }
    // The value itself (null when it has no bytes).
    const ACSRawData& RawData() const noexcept { return data_; }

private:
    TDBBinaryFile* file_;
    TDBRecordId id_;
    ACSRawData data_;
    ACSValueType type_;
};
