// The engine's block-compression interface: a reference-counted codec object
// with a virtual coder and decoder, and the block form over caller memory.
#pragma once

#include <cstdint>

#include "nyx/base/DynamicBuffer.h"
#include "nyx/base/ReferenceCount.h"

namespace Nyx {

// Where a codec writes: caller memory of a fixed size, or a growable buffer
// with an upper limit. Codecs write through Data() within Available() bytes
// and ask Grow for more; nothing is ever written past the limit.
class CompressOutput {
public:
    CompressOutput(void* data, uint32_t capacity) noexcept
        : data_(static_cast<uint8_t*>(data)), available_(data ? capacity : 0), limit_(available_)
    {
    }
    // Fills the buffer from its start; it grows as needed up to `limit` bytes
    // and its data length is the output size once the codec has finished.
    CompressOutput(DynamicBuffer& buffer, uint32_t limit) noexcept;

    CompressOutput(const CompressOutput&) = delete;
    CompressOutput& operator=(const CompressOutput&) = delete;

    uint8_t* Data() noexcept { return data_; }
    uint32_t Available() const noexcept { return available_; }
    // Bytes written so far, as the codec last recorded them.
    uint32_t Size() const noexcept { return size_; }

    // Makes at least `total` bytes addressable from Data(); false when that is
    // past the limit or memory runs out. Data() may move.
    bool Grow(uint64_t total) noexcept;
    void SetSize(uint32_t n) noexcept;

private:
    uint8_t* data_ = nullptr;
    uint32_t available_ = 0;
    uint32_t limit_ = 0;
    uint32_t size_ = 0;
    DynamicBuffer* buffer_ = nullptr;
};

// Where a streaming decoder hands its output: every byte once, in order, in
// pieces of any size.
class DecompressSink {
public:
    virtual ~DecompressSink() = default;
    // False stops the decoder, which then fails.
    virtual bool Put(const uint8_t* data, uint32_t size) = 0;
};

class Compress : public ReferenceCount {
public:
    ~Compress() override = default;

    // Virtual operations, in the engine's slot order. (A member cannot share
    // the class's name, so the coder is CompressData.)
    //
    // Codes `size` source bytes into `dst` at its current size at the given
    // level; false when even the plainest form does not fit.
    virtual bool CompressData(CompressOutput& dst, const uint8_t* src, uint32_t size, uint32_t level) = 0;
    // Decodes one whole stream; on failure `dst` holds what was decoded before.
    virtual bool DecompressData(CompressOutput& dst, const uint8_t* src, uint32_t size) = 0;
    virtual bool Init() = 0;
    virtual void Reset() = 0;

    // The compressed size, or -1 when it does not fit in `capacity` bytes.
    int64_t CompressBlock(void* dst, uint32_t capacity, const void* src, uint32_t length, uint32_t level);
    // The number of bytes produced, or -1 when the stream is damaged or its
    // output does not fit in `capacity` bytes.
    int64_t DecompressBlock(void* dst, uint32_t capacity, const void* src, uint32_t length);
};

}  // namespace Nyx
