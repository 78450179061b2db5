// Drives the stream readers over arbitrary bytes. The input is both the
// stream's data and the script of operations: a second cursor walks the same
// bytes picking each operation and its arguments. While nothing has been
// written, every value read is checked against the input itself, so a
// read-ahead that hands out the wrong bytes shows up, not only a crash.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/streams/TStream.h"

namespace {

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return uint32_t(U16()) | (uint32_t(U16()) << 16); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The raw seek is the kinds' own operation; a caller that uses it directly
// empties the read-ahead afterwards, as the stream's own moves do.
template <typename Base>
class Settled : public Base {
public:
    using Base::Base;
    void Seek(int64_t offset, int origin)
    {
        this->SeekRaw(offset, origin);
        this->ClearReadAhead();
    }
};

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// What the input holds at [pos, pos + n), as a little-endian number.
bool Expected(const std::vector<uint8_t>& bytes, uint32_t lo, uint32_t hi, uint32_t pos, uint32_t n, uint64_t& out)
{
    if (pos < lo || uint64_t(pos) + n > hi || uint64_t(pos) + n > bytes.size())
        return false;
    out = 0;
    for (uint32_t i = 0; i < n; ++i)
        out |= uint64_t(bytes[pos + i]) << (8 * i);
    return true;
}

// One operation on a stream whose readable bytes are input[lo, hi) (absolute
// positions; the stream's Tell is relative to lo). pristine is cleared once
// a write has made the input useless as a reference.
template <typename Stream>
void Step(Stream& s, Script& in, const std::vector<uint8_t>& bytes, uint32_t lo, uint32_t hi, bool& pristine)
{
    uint32_t before = s.Tell() + lo;
    uint64_t want = 0;
    switch (in.U8() % 18) {
    case 0: {
        bool v;
        s.ReadBool(v, true);
        if (pristine && Expected(bytes, lo, hi, before, 1, want))
            Check(v == (want != 0));
        break;
    }
    case 1: {
        uint8_t v;
        s.ReadUInt8(v, 0);
        if (pristine && Expected(bytes, lo, hi, before, 1, want))
            Check(v == want);
        break;
    }
    case 2: {
        uint16_t v;
        s.ReadUInt16(v, 0);
        if (pristine && Expected(bytes, lo, hi, before, 2, want))
            Check(v == want);
        break;
    }
    case 3: {
        uint32_t v;
        s.ReadInt32(v, 0);
        if (pristine && Expected(bytes, lo, hi, before, 4, want))
            Check(v == want);
        break;
    }
    case 4: {
        float v;
        s.ReadFloat(v, 0.0f);
        break;
    }
    case 5: {
        uint64_t v;
        s.ReadUInt64(v, 0);
        if (pristine && Expected(bytes, lo, hi, before, 8, want))
            Check(v == want);
        break;
    }
    case 6: {
        int32_t count = static_cast<int8_t>(in.U8()) * 4;
        std::vector<int32_t> out(count > 0 ? count : 1);
        s.ReadInt32Array(out.data(), count);
        if (pristine && count > 0 && Expected(bytes, lo, hi, before, 4, want))
            Check(uint32_t(out[0]) == want);
        break;
    }
    case 7: {
        uint32_t n = in.U16() % 9000;
        std::vector<uint8_t> out(n);
        uint32_t got = s.ReadBytes(out.data(), n);
        Check(got <= n);
        if (pristine && got && Expected(bytes, lo, hi, before, 1, want))
            Check(out[0] == want);
        break;
    }
    case 8: {
        Nyx::PString p;
        s.ReadPString(p);
        Check(p.Length() <= TStream::kMaxStringRecord);
        break;
    }
    case 9: {
        Nyx::String str;
        s.ReadString(str);
        Check(str.Length() <= TStream::kMaxStringRecord);
        break;
    }
    case 10:
        s.SetPosition(in.U16());
        break;
    case 11:
        s.SetPosition(static_cast<uint32_t>(int64_t(s.Tell()) - (in.U8() % 24)));
        break;
    case 12: {
        uint32_t here = s.Tell();
        s.GetSize();
        Check(s.Tell() == here);
        break;
    }
    case 13:
        s.IsEOF();
        s.Rewind();
        break;
    case 14:
        s.Seek(static_cast<int16_t>(in.U16()), in.U8() % 3);
        break;
    case 15:
        s.WriteInt32(in.U32());
        pristine = false;
        break;
    case 16: {
        uint32_t at = s.BeginBlock();
        s.WritePString(Nyx::PString("fuzz"));
        s.EndBlock(at);
        pristine = false;
        break;
    }
    default:
        s.ReadBytes(&want, 3);
        break;
    }
    Check(s.UnreadCount() <= TStream::kReadAheadSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    auto* buf = new Nyx::DynamicBuffer;
    if (size)
        buf->Write(data, static_cast<uint32_t>(size), 1);
    buf->Seek(0);
    Settled<TBuffer> stream(buf, true);

    Script in(data, size);
    bool pristine = true;
    for (int ops = 0; ops < 512 && in.More(); ++ops) {
        if (in.U8() % 8 != 0) {
            Step(stream, in, bytes, 0, UINT32_MAX, pristine);
            continue;
        }
        // A sub-stream over part of what follows the current position.
        uint32_t start = stream.Tell();
        uint32_t end = start + in.U16() % 6000;
        stream.SetPosition(start);
        Settled<TSubFile> sub(&stream, start, end);
        uint32_t subOps = in.U8() % 16;
        for (uint32_t i = 0; i < subOps && in.More(); ++i) {
            Step(sub, in, bytes, start, end, pristine);
        }
        stream.SetPosition(stream.Tell());
    }
    return 0;
}
