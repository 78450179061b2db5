// Reads the words of one block of a library image and never past the
// block's end, however the counts and lengths inside it are made: every
// block of the image is checked against the block it lies in before any of
// its fields is used.
#pragma once

#include <cstdint>

#include "core/streams/LittleEndian.h"
#include "gs/support/ByteBuffer.h"

namespace GSRuntime {

class ImageReader {
public:
    // Empty until Enter makes it a block.
    ImageReader() = default;
    // The whole buffer.
    explicit ImageReader(Utils::ByteBuffer& buffer) noexcept
        : buffer_(&buffer), start_(0), end_(buffer.Size())
    {
    }

    bool U32(uint32_t& out) noexcept
    {
        if (Left() < 4)
            return Fail();
        return buffer_->ReadU32(out);
    }
    bool S32(int32_t& out) noexcept
    {
        uint32_t v;
        if (!U32(v))
            return false;
        out = static_cast<int32_t>(v);
        return true;
    }
    // The next count x size bytes, skipped; null when fewer are left.
    const uint8_t* InPlace(uint32_t count, uint32_t size) noexcept
    {
        uint64_t bytes = uint64_t(count) * size;
        if (bytes > Left()) {
            Fail();
            return nullptr;
        }
        return buffer_->ReadInPlace(static_cast<uint32_t>(bytes));
    }
    // A count of entries of `size` bytes that the bytes left can hold; a
    // larger one fails before anything is allocated for it.
    bool Count(uint32_t& count, uint32_t size) noexcept
    {
        if (!U32(count))
            return false;
        return uint64_t(count) * size <= Left() || Fail();
    }
    // Enters the block at the position: its length, counted from the
    // length word, must cover the length and the tag and end inside this
    // block, and its tag must be the one asked for.
    bool Enter(uint32_t tag, ImageReader& block) noexcept
    {
        uint32_t start = buffer_->Position();
        uint32_t length, found;
        if (!U32(length) || !U32(found) || found != tag || length < 8 || length > end_ - start)
            return Fail();
        block.buffer_ = buffer_;
        block.start_ = start;
        block.end_ = start + length;
        return true;
    }
    // Moves to the end of a block entered from this one.
    bool Leave(const ImageReader& block) noexcept { return buffer_->Seek(block.end_); }
    bool AlignTo4() noexcept
    {
        uint32_t aligned = (buffer_->Position() + 3) & ~3u;
        if (aligned > end_)
            return Fail();
        return buffer_->Seek(aligned);
    }

    uint32_t Left() const noexcept
    {
        uint32_t at = buffer_->Position();
        return at < end_ ? end_ - at : 0;
    }
    uint32_t Position() const noexcept { return buffer_->Position(); }
    uint32_t End() const noexcept { return end_; }
    const uint8_t* Data() const noexcept { return buffer_->Data(); }

private:
    bool Fail() noexcept { return false; }

    Utils::ByteBuffer* buffer_ = nullptr;
    uint32_t start_ = 0;
    uint32_t end_ = 0;
};

}  // namespace GSRuntime
