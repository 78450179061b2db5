// The raw bytes of one config value, shared by counted reference.
//
// A value either owns its heap block or borrows bytes that some other object
// keeps (a chunk, a loaded file). A borrowing value holds a reference on that
// object, so the bytes stay valid for as long as the value does. Values are
// never changed in place, which is what makes sharing them safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "nyx/base/ReferenceCount.h"

class ChunkRef;

class ACSRawDataCore : public Nyx::ReferenceCountMP {
public:
    ACSRawDataCore(const ACSRawDataCore&) = delete;
    ACSRawDataCore& operator=(const ACSRawDataCore&) = delete;

    const uint8_t* Data() const noexcept { return data_; }
    uint32_t Size() const noexcept { return size_; }
    bool Owns() const noexcept { return owns_ != 0; }
    // The object whose bytes are borrowed, or null.
    Nyx::ReferenceCount* Holder() const noexcept { return holder_; }

private:
    friend class ACSRawData;
    ACSRawDataCore(uint8_t* data, uint32_t size, bool owns, Nyx::ReferenceCount* holder) noexcept;
    ~ACSRawDataCore() override;

    uint8_t* data_;
    uint32_t size_;
    uint8_t owns_;
    Nyx::ReferenceCount* holder_;
};

// Counted reference to an ACSRawDataCore. Every way of making one gives a
// null reference when the size or the data is 0.
class ACSRawData {
public:
    ACSRawData() noexcept = default;
    ACSRawData(std::nullptr_t) noexcept {}
    explicit ACSRawData(ACSRawDataCore* core) noexcept;
    ACSRawData(const ACSRawData& other) noexcept;
    ACSRawData(ACSRawData&& other) noexcept : core_(other.core_) { other.core_ = nullptr; }
    ACSRawData& operator=(const ACSRawData& other) noexcept;
    ACSRawData& operator=(ACSRawData&& other) noexcept;
    ~ACSRawData() { Release(); }

    // Takes over a block from std::malloc; it is freed with the value (at
    // once when the size is 0).
    static ACSRawData Adopt(void* block, uint32_t size) noexcept;
    // A new owned block holding exactly these bytes.
    static ACSRawData Copy(const void* data, uint32_t size) noexcept;
    // Refers to bytes kept alive by holder (which may be null when the caller
    // guarantees their lifetime otherwise).
    static ACSRawData Borrow(const void* data, uint32_t size, Nyx::ReferenceCount* holder) noexcept;
    // The value bytes of a chunk (GetData, GetDataSize), kept alive for as
    // long as the result lives.
    static ACSRawData FromChunk(const ChunkRef& chunk);

    ACSRawDataCore* Get() const noexcept { return core_; }
    explicit operator bool() const noexcept { return core_ != nullptr; }
    const uint8_t* Data() const noexcept { return core_ ? core_->Data() : nullptr; }
    uint32_t Size() const noexcept { return core_ ? core_->Size() : 0; }
    void Release() noexcept;

private:
    ACSRawDataCore* core_ = nullptr;
};
