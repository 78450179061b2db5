#include "nyx/files/MemoryFile.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include "nyx/files/File.h"

namespace Nyx {

struct MemoryFileSpare {
    std::mutex lock;
    MemoryFile::Buffer bytes;
    size_t capacity = 0;
};

namespace {

MemoryFileSpare& TheSpare()
{
    // Never destroyed: a memory file held by a static may close during
    // exit, after function statics have gone.
    static MemoryFileSpare* const spare = new MemoryFileSpare;
    return *spare;
}

}  // namespace

bool MemoryFile::Reserve(uint32_t size) noexcept
{
    if (capacity_ >= size)
        return true;
    {
        MemoryFileSpare& spare = TheSpare();
        std::lock_guard<std::mutex> hold(spare.lock);
        if (spare.capacity >= size) {
            // Whatever this file held goes back as the smaller spare.
            std::swap(bytes_, spare.bytes);
            std::swap(capacity_, spare.capacity);
            return true;
        }
    }
    // Not zeroed: every byte is written before it is read.
    Buffer fresh(static_cast<uint8_t*>(::operator new[](size, kAlignment, std::nothrow)));
    if (!fresh)
        return false;
    bytes_ = std::move(fresh);
    capacity_ = size;
    return true;
}

bool MemoryFile::Open(File& file)
{
    Close();
    const int64_t size = file.Size();
    // The cursor is 32 bits wide, as every offset inside a mesh file is.
    if (size < 0 || size > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()) || !file.Seek(0, File::kSeekSet))
        return false;
    const auto bytes = static_cast<uint32_t>(size);
    if (!Reserve(bytes))
        return false;
    if (bytes > 0 && file.Read(bytes_.get(), 1, bytes) != bytes) {
        Close();
        return false;
    }
    size_ = bytes;
    return true;
}

void MemoryFile::Open(const void* data, uint32_t size)
{
    Close();
    if (!data || !size || !Reserve(size))
        return;
    std::memcpy(bytes_.get(), data, size);
    size_ = size;
}

void MemoryFile::Close() noexcept
{
    size_ = 0;
    pos_ = 0;
    if (!bytes_)
        return;
    // The larger of this buffer and the spare stays for the next file.
    if (capacity_ <= kSpareLimit) {
        MemoryFileSpare& spare = TheSpare();
        std::lock_guard<std::mutex> hold(spare.lock);
        if (capacity_ > spare.capacity) {
            std::swap(bytes_, spare.bytes);
            std::swap(capacity_, spare.capacity);
        }
    }
    bytes_.reset();
    capacity_ = 0;
}

const uint8_t* MemoryFile::Take(uint32_t size) noexcept
{
    if (size > Remaining())
        return nullptr;
    const uint8_t* at = bytes_.get() + pos_;
    pos_ += size;
    return at;
}

bool MemoryFile::ReadBytes(void* target, uint32_t size) noexcept
{
    const uint8_t* at = Take(size);
    if (!at)
        return false;
    if (size)
        std::memcpy(target, at, size);
    return true;
}

bool MemoryFile::Read(uint32_t& value) noexcept
{
    const uint8_t* b = Take(4);
    value = b ? static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
                    static_cast<uint32_t>(b[3]) << 24
              : 0;
    return b != nullptr;
}

bool MemoryFile::Read(int32_t& value) noexcept
{
    uint32_t raw = 0;
    const bool ok = Read(raw);
    value = static_cast<int32_t>(raw);
    return ok;
}

bool MemoryFile::Read(float& value) noexcept
{
    uint32_t raw = 0;
    const bool ok = Read(raw);
    std::memcpy(&value, &raw, sizeof value);
    return ok;
}

}  // namespace Nyx
