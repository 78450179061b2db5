#include "core/compress/Compress.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Nyx {

CompressOutput::CompressOutput(DynamicBuffer& buffer, uint32_t limit) noexcept
    : limit_(limit), buffer_(&buffer)
{
    buffer.Clean();
    data_ = buffer.Data();
}

bool CompressOutput::Grow(uint64_t total) noexcept
{
    if (total <= available_)
        return true;
    if (total > limit_ || !buffer_)
        return false;
    // The buffer's data length covers everything addressable, so a move to a
    // bigger block keeps the bytes already written.
    const uint64_t doubled = std::max<uint64_t>(uint64_t(available_) * 2, 4096);
    const uint32_t target = static_cast<uint32_t>(std::min<uint64_t>(std::max(total, doubled), limit_));
    try {
        buffer_->SetDataLength(target);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    data_ = buffer_->Data();
    available_ = target;
    return true;
}

void CompressOutput::SetSize(uint32_t n) noexcept
{
    size_ = std::min(n, available_);
    if (buffer_ && buffer_->DataLength() >= size_)
        buffer_->SetDataLength(size_);  // shrinking never allocates
}

int64_t Compress::CompressBlock(void* dst, uint32_t capacity, const void* src, uint32_t length, uint32_t level)
{
    CompressOutput out(dst, capacity);
    if (!CompressData(out, static_cast<const uint8_t*>(src), length, level))
        return -1;
    return out.Size();
}

int64_t Compress::DecompressBlock(void* dst, uint32_t capacity, const void* src, uint32_t length)
{
    CompressOutput out(dst, capacity);
    if (!DecompressData(out, static_cast<const uint8_t*>(src), length))
        return -1;
    return out.Size();
}

}  // namespace Nyx
