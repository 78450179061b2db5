#include "nyx/files/MemoryFile.h"

#include <cstring>
#include <limits>

#include "nyx/files/File.h"

namespace Nyx {

bool MemoryFile::Open(File& file)
{
    Close();
    const int64_t size = file.Size();
    // The cursor is 32 bits wide, as every offset inside a mesh file is.
    if (size < 0 || size > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()) || !file.Seek(0, File::kSeekSet))
        return false;
    data_.resize(static_cast<size_t>(size));
    if (size > 0 && file.Read(data_.data(), 1, static_cast<uint32_t>(size)) != static_cast<uint32_t>(size)) {
        Close();
        return false;
    }
    return true;
}

void MemoryFile::Open(const void* data, uint32_t size)
{
    Close();
    if (data && size)
        data_.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}

void MemoryFile::Close() noexcept
{
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
}

const uint8_t* MemoryFile::Take(uint32_t size) noexcept
{
    if (size > Remaining())
        return nullptr;
    const uint8_t* at = data_.data() + pos_;
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
