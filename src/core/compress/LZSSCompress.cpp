// The coder side of LZSSCompress: parameter choice, match finding and the
// flag-word and Huffman writers.
#include "core/compress/LZSSCompress.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/streams/LittleEndian.h"

namespace Nyx {

namespace {

constexpr uint16_t kNoPos = 0xFFFF;

// Writes into a CompressOutput with an exact room check for every write, so
// the coded form fails only when it really does not fit. A failure is sticky.
class Sink {
public:
    Sink(CompressOutput& out, uint32_t start) noexcept : out_(out)
    {
        base_ = out.Data();
        p_ = base_ + start;
        end_ = base_ + out.Available();
    }

    bool Failed() const noexcept { return failed_; }
    uint32_t Offset() const noexcept { return static_cast<uint32_t>(p_ - base_); }
    uint8_t* At(uint32_t offset) noexcept { return base_ + offset; }

    bool Room(uint32_t n) noexcept
    {
        if (failed_)
            return false;
        if (static_cast<size_t>(end_ - p_) >= n)
            return true;
        const uint32_t used = Offset();
        if (!out_.Grow(uint64_t(used) + n)) {
            failed_ = true;
            return false;
        }
        base_ = out_.Data();
        p_ = base_ + used;
        end_ = base_ + out_.Available();
        return true;
    }
    void Byte(uint32_t b) noexcept
    {
        if (Room(1))
            *p_++ = static_cast<uint8_t>(b);
    }
    void Bytes(const uint8_t* data, uint32_t n) noexcept
    {
        if (n && Room(n)) {
            std::memcpy(p_, data, n);
            p_ += n;
        }
    }
    // Keeps n bytes to be filled in later; the offset of the first.
    uint32_t Skip(uint32_t n) noexcept
    {
        const uint32_t at = Offset();
        if (Room(n))
            p_ += n;
        return at;
    }
    void Finish() noexcept { out_.SetSize(Offset()); }

private:
    CompressOutput& out_;
    uint8_t* base_;
    uint8_t* p_;
    uint8_t* end_;
    bool failed_ = false;
};

// Levels 1-6: groups of a 32-bit flag word and the data bytes of the items it
// steers. A group is closed the moment its 32nd bit is used, even inside an
// item; the rest of that item belongs to the next group.
class FlagWordCoder {
public:
    FlagWordCoder(Sink& sink, uint32_t mode) noexcept
        : sink_(sink),
          mode_(mode),
          distanceBits_(LZSSCompress::kModes[mode].distanceBits),
          lengthField_((1u << LZSSCompress::kModes[mode].lengthBits) - 1)
    {
        slot_ = sink_.Skip(4);
    }

    bool Failed() const noexcept { return sink_.Failed(); }

    void Run(const uint8_t* bytes, uint32_t n) noexcept
    {
        if (mode_ != 0 && n >= LZSSCompress::kMinRawRun) {
            Bit(0);
            Bit(1);
            sink_.Byte(n - LZSSCompress::kMinMatch);
            sink_.Bytes(bytes, n);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            Bit(0);
            if (mode_ != 0)
                Bit(0);
            sink_.Byte(bytes[i]);
        }
    }

    void Match(uint32_t length, uint32_t distance) noexcept
    {
        const uint32_t code = length - LZSSCompress::kMinMatch;
        Bit(1);
        if (mode_ == 0) {
            const uint32_t field = std::min(code, 7u);
            Bit(field & 1);
            Bit((field >> 1) & 1);
            Bit((field >> 2) & 1);
            if (field == 7)
                sink_.Byte(code);
            sink_.Byte(distance);
            return;
        }
        const uint32_t field = std::min(code, lengthField_);
        const uint32_t word = (field << distanceBits_) | distance;
        sink_.Byte(word & 0xFF);
        sink_.Byte(word >> 8);
        if (field == lengthField_)
            sink_.Byte(code);
    }

    // The last group goes out with however many of its bits were used.
    void Finish() noexcept { Store(); }

private:
    void Bit(uint32_t b) noexcept
    {
        flags_ |= b << used_;
        if (++used_ == 32) {
            Store();
            flags_ = 0;
            used_ = 0;
            slot_ = sink_.Skip(4);
        }
    }
    void Store() noexcept
    {
        if (sink_.Failed())
            return;
        StoreLE32(sink_.At(slot_), flags_);
    }

    Sink& sink_;
    const uint32_t mode_;
    const uint32_t distanceBits_;
    const uint32_t lengthField_;
    uint32_t flags_ = 0;
    uint32_t used_ = 0;
    uint32_t slot_ = 0;
};

constexpr std::array<uint8_t, 256> MakeLengthClassTable()
{
    std::array<uint8_t, 256> t{};
    for (uint32_t c = 0; c < 16; ++c) {
        const uint32_t base = LZSSCompress::kLengthClasses[c].base;
        const uint32_t span = 1u << LZSSCompress::kLengthClasses[c].extraBits;
        for (uint32_t code = base; code < base + span && code < 256; ++code)
            t[code] = static_cast<uint8_t>(c);
    }
    return t;
}
constexpr std::array<uint8_t, 256> kLengthClassOf = MakeLengthClassTable();

// Levels 7-9: a bit stream packed from bit 0 of each byte upward and written
// 16 bits at a time, low byte first.
class HuffmanCoder {
public:
    HuffmanCoder(Sink& sink, uint32_t mode, AdaptiveHuffman& literals, AdaptiveHuffman& distances) noexcept
        : sink_(sink), lowBits_(LZSSCompress::kModes[mode].distanceLowBits), literals_(literals), distances_(distances)
    {
        literals_.Init(LZSSCompress::kLiteralModelSymbols);
        distances_.Init(LZSSCompress::kModes[mode].distanceHighSymbols);
    }

    bool Failed() const noexcept { return sink_.Failed(); }

    void Run(const uint8_t* bytes, uint32_t n) noexcept
    {
        for (uint32_t i = 0; i < n; ++i)
            Symbol(literals_, bytes[i]);
    }

    void Match(uint32_t length, uint32_t distance) noexcept
    {
        const uint32_t code = length - LZSSCompress::kMinMatch;
        const uint32_t c = kLengthClassOf[code];
        Symbol(literals_, LZSSCompress::kLengthSymbols + c);
        Bits(code - LZSSCompress::kLengthClasses[c].base, LZSSCompress::kLengthClasses[c].extraBits);
        Symbol(distances_, distance >> lowBits_);
        Bits(distance & ((1u << lowBits_) - 1), lowBits_);
    }

    void Finish() noexcept
    {
        Symbol(literals_, LZSSCompress::kEndSymbol);
        if (count_ > 0)
            Bits(0, 16 - count_);
    }

private:
    // At most 16 bits at a time.
    void Bits(uint32_t value, uint32_t n) noexcept
    {
        acc_ |= uint64_t(value) << count_;
        count_ += n;
        while (count_ >= 16) {
            sink_.Byte(static_cast<uint32_t>(acc_) & 0xFF);
            sink_.Byte(static_cast<uint32_t>(acc_ >> 8) & 0xFF);
            acc_ >>= 16;
            count_ -= 16;
        }
    }
    void Symbol(AdaptiveHuffman& model, uint32_t symbol) noexcept
    {
        uint32_t words[AdaptiveHuffman::kMaxNodes / 32 + 1];
        uint32_t n = model.Code(symbol, words);
        for (uint32_t w = 0; n > 0; ++w) {
            const uint32_t take = std::min(n, 32u);
            Bits(words[w] & 0xFFFF, std::min(take, 16u));
            if (take > 16)
                Bits(words[w] >> 16, take - 16);
            n -= take;
        }
        model.Update(symbol);
    }

    Sink& sink_;
    const uint32_t lowBits_;
    AdaptiveHuffman& literals_;
    AdaptiveHuffman& distances_;
    uint64_t acc_ = 0;
    uint32_t count_ = 0;
};

// Bytes equal at a and b, at most `limit`.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) noexcept
{
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + static_cast<uint32_t>(__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// Greedy LZ77 over hash chains. Positions in the tables are 16-bit and
// relative to the history start, which slides on by one window whenever the
// position reaches two windows.
template <class Coder>
void FindMatches(Coder& coder, const uint8_t* src, uint32_t size, uint32_t distanceBits, uint32_t goodLength,
                 std::vector<uint16_t>& head, std::vector<uint16_t>& prev)
{
    const uint32_t window = 1u << distanceBits;
    const uint32_t history = std::min<uint32_t>(size, 2 * window + LZSSCompress::kMaxMatch);
    const uint32_t shift = history < 2000 ? 3 : history < 24000 ? 4 : 5;
    const uint32_t mask = (1u << (3 * shift)) - 1;
    head.assign(mask + 1, kNoPos);
    prev.assign(history, kNoPos);
    uint16_t* const heads = head.data();
    uint16_t* const prevs = prev.data();

    const uint8_t* base = src;
    const uint8_t* const end = src + size;
    uint32_t pos = 0;
    uint32_t hash = ((uint32_t(src[0]) << shift) ^ src[1]) & mask;

    const auto insert = [&](uint32_t p) -> uint32_t {
        hash = ((hash << shift) ^ base[p + 2]) & mask;
        const uint16_t older = heads[hash];
        prevs[p] = older;
        heads[hash] = static_cast<uint16_t>(p);
        return older;
    };
    const auto slide = [&] {
        const uint32_t by = pos - window;
        const auto down = [by](uint16_t v) -> uint16_t {
            return (v == kNoPos || v < by) ? kNoPos : static_cast<uint16_t>(v - by);
        };
        for (uint32_t i = 0; i <= mask; ++i)
            heads[i] = down(heads[i]);
        for (uint32_t i = 0; i < window; ++i)
            prevs[i] = down(prevs[i + by]);
        base += by;
        pos -= by;
    };

    const uint8_t* run = src;
    uint32_t runLength = 0;
    while (base + pos < end) {
        if (pos == 2 * window)
            slide();
        const uint8_t* const here = base + pos;
        const uint32_t left = static_cast<uint32_t>(end - here);
        uint32_t best = 0;
        uint32_t bestDistance = 0;
        if (left >= 3) {
            uint32_t candidate = insert(pos);
            if (candidate != kNoPos && candidate + window > pos) {
                const uint32_t longest = std::min(history - pos, left);
                const uint32_t enough = std::min(goodLength, longest);
                do {
                    const uint8_t* m = base + candidate;
                    // The hash already fixes the third byte once the first two agree.
                    if (m[0] == here[0] && m[best] == here[best] && m[1] == here[1]) {
                        const uint32_t length = 3 + CommonLength(m + 3, here + 3, longest - 3);
                        if (length > best) {
                            best = length;
                            bestDistance = pos - candidate;
                            if (length >= enough)
                                break;
                        }
                    }
                    candidate = prevs[candidate];
                } while (candidate != kNoPos && candidate + window > pos);
            }
        }

        if (best < LZSSCompress::kMinMatch) {
            if (runLength == 0)
                run = here;
            if (++runLength == LZSSCompress::kMaxRun) {
                coder.Run(run, runLength);
                runLength = 0;
                if (coder.Failed())
                    return;
            }
            ++pos;
            continue;
        }

        if (runLength) {
            coder.Run(run, runLength);
            runLength = 0;
        }
        uint32_t rest = best;
        while (rest > LZSSCompress::kMaxMatch) {
            coder.Match(LZSSCompress::kMaxMatch, bestDistance);
            rest -= LZSSCompress::kMaxMatch;
        }
        if (rest >= LZSSCompress::kMinMatch) {
            coder.Match(rest, bestDistance);
        } else if (rest > 0) {
            run = here + best - rest;
            runLength = rest;
        }
        if (coder.Failed())
            return;
        for (uint32_t k = 1; k < best; ++k) {
            ++pos;
            if (pos == 2 * window)
                slide();
            if (end - (base + pos) >= 3)
                insert(pos);
        }
        ++pos;
    }
    if (runLength)
        coder.Run(run, runLength);
}

}  // namespace

uint8_t LZSSCompress::HeaderFor(uint32_t size, uint32_t level) noexcept
{
    level = std::min(level, kMaxLevel);
    if (level == 0 || size <= kStoreAtMost)
        return 0;
    uint32_t mode = kLevels[level].mode;
    if (size < 256) {
        mode = 0;
        level = std::min(level, 6u);
    }
    if (mode > 0 && size <= (1u << kModes[mode - 1].distanceBits))
        --mode;
    return static_cast<uint8_t>((mode << 4) | level);
}

bool LZSSCompress::WriteStored(CompressOutput& dst, uint32_t start, const uint8_t* src, uint32_t size)
{
    Sink sink(dst, start);
    sink.Byte(0);
    sink.Bytes(src, size);
    if (sink.Failed()) {
        dst.SetSize(start);
        return false;
    }
    sink.Finish();
    return true;
}

bool LZSSCompress::CompressData(CompressOutput& dst, const uint8_t* src, uint32_t size, uint32_t level)
{
    level_ = std::min(level, kMaxLevel);
    if (size > 0 && !src)
        return false;
    const uint32_t start = dst.Size();
    const uint8_t header = HeaderFor(size, level_);
    const uint32_t codedLevel = header & 0x0F;
    const uint32_t mode = header >> 4;
    if (codedLevel == 0)
        return WriteStored(dst, start, src, size);

    bool ok;
    {
        Sink sink(dst, start);
        sink.Byte(header);
        if (sink.Failed())
            return false;
        const LevelInfo& info = kLevels[codedLevel];
        if (info.huffman) {
            HuffmanCoder coder(sink, mode, literals_, distances_);
            FindMatches(coder, src, size, kModes[mode].distanceBits, info.goodLength, head_, prev_);
            coder.Finish();
        } else {
            FlagWordCoder coder(sink, mode);
            FindMatches(coder, src, size, kModes[mode].distanceBits, info.goodLength, head_, prev_);
            coder.Finish();
        }
        ok = !sink.Failed();
        if (ok)
            sink.Finish();
    }
    Reset();
    if (ok)
        return true;
    // Nothing half-coded is left behind: the stored form replaces it.
    dst.SetSize(start);
    return WriteStored(dst, start, src, size);
}

void LZSSCompress::Reset()
{
    std::vector<uint16_t>().swap(head_);
    std::vector<uint16_t>().swap(prev_);
    literals_.Init(2);
    distances_.Init(2);
}

}  // namespace Nyx
