// The decoder side of LZSSCompress. Every field read from the stream is
// checked before use: the decoder never reads past the source, never writes
// past the destination's limit and never copies from before the first byte.
#include "core/compress/LZSSCompress.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/streams/LittleEndian.h"

namespace Nyx {

namespace {

// Writes length bytes at to, copied from distance bytes back (the two may
// overlap). end closes the buffer to lies in; the caller has made room there
// for length bytes.
void CopyMatch(uint8_t* to, const uint8_t* end, uint32_t length, uint32_t distance) noexcept
{
    const uint8_t* from = to - distance;
    if (distance >= 16 && static_cast<size_t>(end - to) >= length + 16) {
        // Whole 16-byte steps may run past the match but stay inside the
        // buffer; those bytes are rewritten later or left unused.
        for (uint32_t i = 0; i < length; i += 16)
            std::memcpy(to + i, from + i, 16);
    } else if (distance >= length) {
        std::memcpy(to, from, length);
    } else if (distance == 1) {
        std::memset(to, *from, length);
    } else {
        for (uint32_t i = 0; i < length; ++i)
            to[i] = from[i];
    }
}

// The decoded bytes so far, which are also the match history.
class History {
public:
    explicit History(CompressOutput& out) noexcept : out_(out)
    {
        base_ = out.Data();
        p_ = base_ + out.Size();
        end_ = base_ + out.Available();
    }

    uint32_t Produced() const noexcept { return static_cast<uint32_t>(p_ - base_); }
    bool Finish() noexcept
    {
        out_.SetSize(Produced());
        return true;
    }

    bool Room(uint32_t n) noexcept
    {
        if (static_cast<size_t>(end_ - p_) >= n)
            return true;
        const uint32_t used = Produced();
        if (!out_.Grow(uint64_t(used) + n))
            return false;
        base_ = out_.Data();
        p_ = base_ + used;
        end_ = base_ + out_.Available();
        return true;
    }

    bool Literal(uint8_t b) noexcept
    {
        if (p_ == end_ && !Room(1))
            return false;
        *p_++ = b;
        return true;
    }

    bool Copy(const uint8_t* bytes, uint32_t n) noexcept
    {
        if (n == 0)
            return true;
        if (!Room(n))
            return false;
        std::memcpy(p_, bytes, n);
        p_ += n;
        return true;
    }

    bool Match(uint32_t length, uint32_t distance) noexcept
    {
        if (distance == 0 || distance > Produced() || !Room(length))
            return false;
        CopyMatch(p_, end_, length, distance);
        p_ += length;
        return true;
    }

private:
    CompressOutput& out_;
    uint8_t* base_;
    uint8_t* p_;
    uint8_t* end_;
};

static_assert((1u << LZSSCompress::kModes[2].distanceBits) <= LZSSCompress::kHistory,
              "the window must reach as far back as any match");

// The decoded bytes for a sink: the last kHistory bytes handed out, which
// matches may copy from, and one piece being filled behind them. A full
// piece goes to the sink and the window slides over it.
class WindowHistory {
public:
    static constexpr uint32_t kPiece = 1u << 16;

    explicit WindowHistory(DecompressSink& sink)
        : sink_(sink), buffer_(new uint8_t[LZSSCompress::kHistory + kPiece])
    {
        base_ = buffer_.get();
        p_ = base_;
        handed_ = base_;
        end_ = base_ + LZSSCompress::kHistory + kPiece;
    }

    uint64_t Produced() const noexcept { return dropped_ + static_cast<uint64_t>(p_ - base_); }

    // Hands out what is not yet handed out, unless the sink refused before.
    bool Finish() noexcept
    {
        if (refused_)
            return false;
        if (p_ != handed_ && !sink_.Put(handed_, static_cast<uint32_t>(p_ - handed_)))
            refused_ = true;
        handed_ = p_;
        return !refused_;
    }

    // n <= kPiece.
    bool Room(uint32_t n) noexcept
    {
        if (static_cast<size_t>(end_ - p_) >= n)
            return true;
        if (!Finish())
            return false;
        const size_t length = static_cast<size_t>(p_ - base_);
        const size_t keep = std::min<size_t>(length, LZSSCompress::kHistory);
        std::memmove(base_, p_ - keep, keep);
        dropped_ += length - keep;
        p_ = base_ + keep;
        handed_ = p_;
        return static_cast<size_t>(end_ - p_) >= n;
    }

    bool Literal(uint8_t b) noexcept
    {
        if (p_ == end_ && !Room(1))
            return false;
        *p_++ = b;
        return true;
    }

    bool Copy(const uint8_t* bytes, uint32_t n) noexcept
    {
        while (n != 0) {
            const uint32_t step = std::min(n, kPiece);
            if (!Room(step))
                return false;
            std::memcpy(p_, bytes, step);
            p_ += step;
            bytes += step;
            n -= step;
        }
        return true;
    }

    bool Match(uint32_t length, uint32_t distance) noexcept
    {
        if (distance == 0 || distance > Produced() || !Room(length))
            return false;
        if (distance > static_cast<size_t>(p_ - base_))
            return false;  // past the window: no mode codes such a distance
        CopyMatch(p_, end_, length, distance);
        p_ += length;
        return true;
    }

private:
    DecompressSink& sink_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint8_t* base_;
    uint8_t* p_;
    uint8_t* end_;
    uint8_t* handed_;       // the first byte the sink has not had
    uint64_t dropped_ = 0;  // bytes slid out of the window
    bool refused_ = false;
};

// Levels 7-9: bits from bit 0 of each byte upward, in 16-bit words. Words
// are read ahead, but a call fails only when the bits it needs are missing.
class BitReader {
public:
    BitReader(const uint8_t* p, const uint8_t* end) noexcept : p_(p), end_(end) {}

    // n <= 16.
    bool Bits(uint32_t n, uint32_t& value) noexcept
    {
        if (count_ < n && (Refill(), count_ < n))
            return false;
        value = static_cast<uint32_t>(acc_) & ((1u << n) - 1);
        acc_ >>= n;
        count_ -= n;
        return true;
    }

    bool Symbol(const AdaptiveHuffman& model, uint32_t& symbol) noexcept
    {
        uint32_t pair = model.Child(model.Root());
        for (;;) {
            if (count_ == 0 && (Refill(), count_ == 0))
                return false;
            const uint32_t next = model.Child(pair + static_cast<uint32_t>(acc_ & 1));
            acc_ >>= 1;
            --count_;
            if (next & AdaptiveHuffman::kLeafBit) {
                symbol = next & ~uint32_t(AdaptiveHuffman::kLeafBit);
                return true;
            }
            pair = next;
        }
    }

private:
    void Refill() noexcept
    {
        while (count_ <= 48 && end_ - p_ >= 2) {
            acc_ |= uint64_t(LoadLE16(p_)) << count_;
            p_ += 2;
            count_ += 16;
        }
    }

    const uint8_t* p_;
    const uint8_t* const end_;
    uint64_t acc_ = 0;
    uint32_t count_ = 0;
};

}  // namespace

bool LZSSCompress::DecompressData(CompressOutput& dst, const uint8_t* src, uint32_t size)
{
    History out(dst);
    return Decode(out, src, size);
}

bool LZSSCompress::DecompressTo(DecompressSink& sink, const uint8_t* src, uint32_t size)
{
    WindowHistory out(sink);
    return Decode(out, src, size);
}

template <class Out>
bool LZSSCompress::Decode(Out& out, const uint8_t* src, uint32_t size)
{
    if (size < 1 || !src)
        return false;
    const uint32_t level = src[0] & 0x0F;
    const uint32_t mode = src[0] >> 4;
    if (level > kMaxLevel || mode > 2)
        return false;
    if (level == 0) {
        const bool copied = out.Copy(src + 1, size - 1);
        const bool finished = out.Finish();
        return copied && finished;
    }
    if (mode != 0 && level >= 7) {
        const bool ok = DecodeHuffman(out, src + 1, size - 1, mode);
        Reset();
        return ok;
    }
    return DecodeFlagWords(out, src + 1, size - 1, mode);
}

template <class Out>
bool LZSSCompress::DecodeFlagWords(Out& out, const uint8_t* src, uint32_t size, uint32_t mode)
{
    const uint8_t* p = src;
    const uint8_t* const end = src + size;
    const uint32_t distanceBits = kModes[mode].distanceBits;
    const uint32_t distanceMask = (1u << distanceBits) - 1;
    const uint32_t lengthField = (1u << kModes[mode].lengthBits) - 1;
    uint32_t flags = 0;
    uint32_t left = 0;  // unused bits of the current flag word

    // The next group's flag word is read the moment the current one runs
    // out, because its coder closed the group right after the 32nd bit.
#define LZSS_TAKE_BIT(b)                   \
    do {                                   \
        (b) = flags & 1;                   \
        flags >>= 1;                       \
        if (--left == 0) {                 \
            if (end - p < 4)               \
                goto fail;                 \
            flags = LoadLE32(p);             \
            p += 4;                        \
            left = 32;                     \
        }                                  \
    } while (0)

    while (p != end) {
        if (left == 0) {
            if (end - p < 4)
                goto fail;
            flags = LoadLE32(p);
            p += 4;
            left = 32;
            continue;  // a stream may end right after a flag word
        }
        uint32_t bit;
        LZSS_TAKE_BIT(bit);
        if (mode == 0) {
            if (!bit) {
                if (p == end || !out.Literal(*p))
                    goto fail;
                ++p;
                continue;
            }
            uint32_t b0, b1, b2;
            LZSS_TAKE_BIT(b0);
            LZSS_TAKE_BIT(b1);
            LZSS_TAKE_BIT(b2);
            uint32_t code = b0 | b1 << 1 | b2 << 2;
            if (code == 7) {
                if (p == end)
                    goto fail;
                code = *p++;
            }
            if (p == end || !out.Match(code + kMinMatch, *p))
                goto fail;
            ++p;
            continue;
        }
        if (!bit) {
            uint32_t raw;
            LZSS_TAKE_BIT(raw);
            if (!raw) {
                if (p == end || !out.Literal(*p))
                    goto fail;
                ++p;
                continue;
            }
            if (p == end)
                goto fail;
            const uint32_t n = *p++ + kMinMatch;
            if (static_cast<size_t>(end - p) < n || !out.Copy(p, n))
                goto fail;
            p += n;
            continue;
        }
        if (end - p < 2)
            goto fail;
        const uint32_t word = LoadLE16(p);
        p += 2;
        uint32_t code = word >> distanceBits;
        if (code == lengthField) {
            if (p == end)
                goto fail;
            code = *p++;
        }
        if (!out.Match(code + kMinMatch, word & distanceMask))
            goto fail;
    }
#undef LZSS_TAKE_BIT
    return out.Finish();
fail:
    out.Finish();
    return false;
}

template <class Out>
bool LZSSCompress::DecodeHuffman(Out& out, const uint8_t* src, uint32_t size, uint32_t mode)
{
    BitReader in(src, src + size);
    const ModeInfo& info = kModes[mode];
    const uint32_t lowBits = info.distanceLowBits;
    const uint32_t distanceMask = (1u << info.distanceBits) - 1;
    literals_.Init(kLiteralModelSymbols);
    distances_.Init(info.distanceHighSymbols);

    for (;;) {
        uint32_t symbol;
        if (!in.Symbol(literals_, symbol))
            break;
        literals_.Update(symbol);
        if (symbol < kLengthSymbols) {
            if (!out.Literal(static_cast<uint8_t>(symbol)))
                break;
            continue;
        }
        if (symbol == kEndSymbol)
            return out.Finish();
        if (symbol > kEndSymbol)
            break;  // the model's filler leaf: never coded
        const LengthClass& lc = kLengthClasses[symbol - kLengthSymbols];
        uint32_t extra;
        uint32_t high;
        uint32_t low;
        if (!in.Bits(lc.extraBits, extra))
            break;
        const uint32_t code = lc.base + extra;
        if (code > kMaxMatch - kMinMatch)
            break;
        if (!in.Symbol(distances_, high))
            break;
        distances_.Update(high);
        if (!in.Bits(lowBits, low))
            break;
        if (!out.Match(code + kMinMatch, ((high << lowBits) + low) & distanceMask))
            break;
    }
    out.Finish();
    return false;
}

}  // namespace Nyx
