#include "nyx/resource/NIRFFile.h"

namespace Nyx {

namespace {

void Put32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool WriteAll(File& file, const std::string& bytes)
{
    return file.Write(bytes.data(), 1, static_cast<uint32_t>(bytes.size())) == bytes.size();
}

}  // namespace

bool NIRFWriteHeader(File& file, uint32_t form, int64_t& start)
{
    start = file.Tell();
    std::string head = "NIRF";
    Put32(head, 0);
    Put32(head, form);
    return start >= 0 && WriteAll(file, head);
}

bool NIRFFinishHeader(File& file, int64_t start)
{
    const int64_t end = file.Tell();
    const int64_t size = end - start - 8;
    if (start < 0 || size < 4 || size > UINT32_MAX)
        return false;
    std::string bytes;
    Put32(bytes, static_cast<uint32_t>(size));
    return file.Seek(start + 4, File::kSeekSet) && WriteAll(file, bytes) && file.Seek(end, File::kSeekSet);
}

NIRFChunk::NIRFChunk(std::string_view tag, uint32_t version) : tag_(tag.substr(0, 4))
{
    tag_.resize(4, ' ');
    Put32(body_, version);
}

void NIRFChunk::PutU32(uint32_t value) { Put32(body_, value); }

void NIRFChunk::PutBytes(const void* data, size_t size) { body_.append(static_cast<const char*>(data), size); }

bool NIRFChunk::Write(File& file) const
{
    if (body_.size() > UINT32_MAX - 8)
        return false;
    std::string head = tag_;
    Put32(head, static_cast<uint32_t>(body_.size()));
    return WriteAll(file, head) && WriteAll(file, body_);
}

}  // namespace Nyx
