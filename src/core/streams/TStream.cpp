#include "core/streams/TStream.h"

#include <algorithm>
#include <bit>
#include <memory>

#include "core/streams/LittleEndian.h"

namespace {

// Strings shorter than this are read without a heap block.
constexpr uint32_t kStackString = 511;

}  // namespace

uint32_t TStream::Read(void* data, uint32_t n)
{
    auto* dst = static_cast<uint8_t*>(data);
    uint32_t copied = unread_;
    uint32_t rest = n;
    if (copied) {
        std::memcpy(dst, readAhead_ + offset_, copied);
        rest = n - copied;
        // The buffer is drained up to the end of what it holds. Only a full
        // buffer may keep its tail for stepping back: the bytes behind a
        // short fill are stale.
        offset_ += copied;
        unread_ = 0;
    }
    if (rest >= kReadAheadSize - kKeepBack) {
        uint32_t got = ReadRaw(dst + copied, rest);
        ClearReadAhead();
        return copied + got;
    }
    uint32_t base = 0;
    if (offset_ == kReadAheadSize) {
        std::memmove(readAhead_, readAhead_ + kReadAheadSize - kKeepBack, kKeepBack);
        base = kKeepBack;
    }
    uint32_t got = ReadRaw(readAhead_ + base, kReadAheadSize - base);
    uint32_t handed = std::min(rest, got);
    std::memcpy(dst + copied, readAhead_ + base, handed);
    unread_ = got - handed;
    offset_ = base + handed;
    return copied + handed;
}

void TStream::GiveBackReadAhead()
{
    // Cleared before the seek: origin 1 already allows for the unread count.
    uint32_t back = unread_;
    ClearReadAhead();
    if (back)
        SeekRaw(-int64_t(back), kFromCurrent);
}

void TStream::Skip(uint32_t n)
{
    if (n <= unread_) {
        offset_ += n;
        unread_ -= n;
        return;
    }
    SeekRaw(n, kFromCurrent);
    ClearReadAhead();
}

void TStream::SetPosition(uint32_t target)
{
    int64_t delta = int64_t(target) - int64_t(Tell());
    if (int64_t(offset_) + delta >= 0 && delta <= int64_t(unread_)) {
        offset_ = static_cast<uint32_t>(int64_t(offset_) + delta);
        unread_ = static_cast<uint32_t>(int64_t(unread_) - delta);
        return;
    }
    SeekRaw(target, kFromStart);
    ClearReadAhead();
}

uint32_t TStream::GetSize()
{
    uint32_t here = Tell();
    SeekRaw(0, kFromEnd);
    ClearReadAhead();
    uint32_t size = Tell();
    SetPosition(here);
    return size;
}

// ---------------------------------------------------------------- readers

void TStream::ReadBool(bool& out, bool def)
{
    uint8_t b;
    if (Take(&b, 1) == 1) {
        out = b != 0;
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadUInt8(uint8_t& out, uint8_t def)
{
    uint8_t b;
    if (Take(&b, 1) == 1) {
        out = b;
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadUInt16(uint16_t& out, uint16_t def)
{
    uint8_t b[2];
    if (Take(b, 2) == 2) {
        out = LoadLE16(b);
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadInt32Slow(uint32_t& out, uint32_t def)
{
    uint8_t b[4];
    if (Take(b, 4) == 4) {
        out = LoadLE32(b);
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadFloat(float& out, float def)
{
    uint8_t b[4];
    if (Take(b, 4) == 4) {
        out = std::bit_cast<float>(LoadLE32(b));
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadUInt64(uint64_t& out, uint64_t def)
{
    uint8_t b[8];
    if (Take(b, 8) == 8) {
        out = LoadLE64(b);
        return;
    }
    out = def;
    SetError(kErrShortRecord);
}

void TStream::ReadInt32Array(int32_t* out, int32_t count)
{
    if (count < 1)
        return;
    uint32_t total = static_cast<uint32_t>(count);
    uint32_t i = 0;
    while (i < total) {
        if (unread_ >= 4) {
            uint32_t k = std::min(total - i, unread_ / 4);
            const uint8_t* p = readAhead_ + offset_;
            for (uint32_t j = 0; j < k; ++j)
                out[i + j] = static_cast<int32_t>(LoadLE32(p + 4 * j));
            offset_ += 4 * k;
            unread_ -= 4 * k;
            i += k;
            continue;
        }
        uint8_t b[4];
        if (Read(b, 4) != 4) {
            // The stream is exhausted: every later element would come up
            // short as well, so they are zeroed without asking it again.
            SetError(kErrShortRecord);
            std::fill(out + i, out + total, 0);
            return;
        }
        out[i++] = static_cast<int32_t>(LoadLE32(b));
    }
}

namespace {

// Reads the body of a string record of length len (already checked against
// the kind's limit) and hands the text, up to its first NUL, to sink. Returns
// false on a short body.
template <typename Sink>
bool ReadStringBody(TStream& s, uint32_t len, Sink&& sink)
{
    char stack[kStackString + 1];
    std::unique_ptr<char[]> heap;
    char* text = stack;
    if (len >= kStackString) {
        heap.reset(new char[size_t(len) + 1]);
        text = heap.get();
    }
    if (s.ReadBytes(text, len) != len)
        return false;
    text[len] = '\0';
    sink(std::string_view(text, strnlen(text, len)));
    return true;
}

}  // namespace

void TStream::ReadPString(Nyx::PString& out)
{
    uint32_t len;
    ReadInt32(len, 0);
    if (len == 0) {
        out = Nyx::PString();
        return;
    }
    if (len > kMaxStringRecord) {
        out = Nyx::PString();
        Skip(len);
        SetError(kErrString);
        return;
    }
    if (!ReadStringBody(*this, len, [&](std::string_view t) { out = Nyx::PStringCache::Create(t); })) {
        out = Nyx::PString();
        SetError(kErrShortRecord);
    }
}

void TStream::ReadString(Nyx::String& out)
{
    uint32_t len;
    ReadInt32(len, 0);
    if (len == 0) {
        out.Clear();
        return;
    }
    if (len > kMaxStringRecord) {
        out.Clear();
        Skip(len);
        SetError(kErrString);
        return;
    }
    if (!ReadStringBody(*this, len, [&](std::string_view t) { out = Nyx::String(t); })) {
        out.Clear();
        SetError(kErrShortRecord);
    }
}

// ---------------------------------------------------------------- writers

void TStream::WriteUInt8(uint8_t v)
{
    DropReadAhead();
    WriteRaw(&v, 1);
}

void TStream::WriteUInt16(uint16_t v)
{
    uint8_t b[2];
    StoreLE16(b, v);
    DropReadAhead();
    WriteRaw(b, 2);
}

void TStream::WriteBool(bool v) { WriteUInt8(v ? 1 : 0); }

void TStream::WriteInt32(int32_t v)
{
    uint8_t b[4];
    StoreLE32(b, static_cast<uint32_t>(v));
    DropReadAhead();
    WriteRaw(b, 4);
}

void TStream::WriteFloat(float v) { WriteInt32(std::bit_cast<int32_t>(v)); }

void TStream::WriteUInt64(uint64_t v)
{
    uint8_t b[8];
    StoreLE64(b, v);
    DropReadAhead();
    WriteRaw(b, 8);
}

namespace {

// One string record: u32 size, then size bytes of text (its NUL included).
void WriteStringRecord(TStream& s, const char* text, uint32_t size)
{
    uint8_t small[4 + 256];
    if (size <= sizeof(small) - 4) {
        // Small records go out in one transfer.
        StoreLE32(small, size);
        std::memcpy(small + 4, text, size);
        s.WriteBytes(small, 4 + size);
        return;
    }
    s.WriteInt32(size);
    s.WriteBytes(text, size);
}

}  // namespace

void TStream::WritePString(const Nyx::PString& s)
{
    uint64_t size = s.Empty() ? 0 : uint64_t(s.Length()) + 1;
    if (size > kMaxStringRecord)
        size = 0;
    WriteStringRecord(*this, s.c_str(), static_cast<uint32_t>(size));
}

void TStream::WriteString(const Nyx::AnsiString& s)
{
    // The size is the string's own: its text and NUL, or whatever it reports
    // for the empty text (c_str always holds that many bytes).
    uint32_t size = s.Size();
    if (size > kMaxStringRecord)
        size = 0;
    WriteStringRecord(*this, s.c_str(), size);
}

void TStream::WriteInt32At(uint32_t position, int32_t v)
{
    uint32_t here = Tell();
    SetPosition(position);
    WriteInt32(v);
    SetPosition(here);
}

uint32_t TStream::BeginBlock()
{
    uint32_t at = Tell();
    WriteInt32(kBlockMarker);
    return at;
}

void TStream::EndBlock(uint32_t position)
{
    uint32_t end = Tell();
    WriteInt32At(position, static_cast<int32_t>(end - position - 4));
}
