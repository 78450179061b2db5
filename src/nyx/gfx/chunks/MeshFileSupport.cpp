#include "nyx/gfx/chunks/MeshFileSupport.h"

#include <cstring>

#include "nyx/files/MemoryFile.h"

namespace Nyx {

namespace {

// The text of a padded string at the cursor, stepped over; false when the
// count or the padded text runs past the end.
bool TakePadded(MemoryFile& file, std::string_view& text)
{
    const uint32_t start = file.Tell();
    uint32_t n = 0;
    if (!file.Read(n))
        return false;
    const uint64_t padded = (static_cast<uint64_t>(n) + 3) & ~uint64_t{3};
    if (padded > file.Remaining()) {
        file.Seek(start);
        return false;
    }
    const uint8_t* at = file.Take(static_cast<uint32_t>(padded));
    text = std::string_view(reinterpret_cast<const char*>(at), n);
    return true;
}

}  // namespace

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, String& out)
{
    std::string_view text;
    const bool ok = TakePadded(file, text);
    out = String(text);
    return ok;
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, PString& out)
{
    std::string_view text;
    const bool ok = TakePadded(file, text);
    out = PString(text);
    return ok;
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, char* out, uint32_t capacity)
{
    std::string_view text;
    const bool ok = TakePadded(file, text);
    if (out && capacity) {
        const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return ok;
}

void MeshFileSupport::WritePaddedString(std::vector<uint8_t>& out, std::string_view text)
{
    WriteU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    out.insert(out.end(), (4 - text.size() % 4) % 4, uint8_t{0});
}

void MeshFileSupport::WriteU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void MeshFileSupport::WriteFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    WriteU32(out, raw);
}

void MeshFileSupport::WriteTag(std::vector<uint8_t>& out, const char tag[4]) { out.insert(out.end(), tag, tag + 4); }

uint32_t MeshFileSupport::MarkSizePos(std::vector<uint8_t>& out)
{
    const auto mark = static_cast<uint32_t>(out.size());
    WriteU32(out, 0);
    return mark;
}

void MeshFileSupport::WriteSizeAtMark(std::vector<uint8_t>& out, uint32_t mark)
{
    const auto size = static_cast<uint32_t>(out.size() - mark - 4);
    for (int i = 0; i < 4; ++i)
        out[mark + i] = static_cast<uint8_t>(size >> (8 * i));
}

}  // namespace Nyx
