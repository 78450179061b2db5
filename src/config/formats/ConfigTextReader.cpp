#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "config/formats/ConfigText.h"
#include "config/tree/FloatArray.h"
#include "config/kuid/KUID.h"
#include "config/tree/TDBContainerTag.h"
#include "config/tree/TDBDataTag.h"
#include "config/tree/TagTreeOps.h"
#include "core/streams/CharArray.h"
#include "core/text/FileNameText.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "core/text/TextEncoding.h"

namespace ConfigText {
namespace {

enum class ValueKind { None, Container, Integer, Float, NumberList, String };

// Byte classes, looked up in one table because every byte of a text passes
// through several of these tests.
enum : uint8_t {
    kBlank = 1,      // space, tab
    kLineEnd = 2,    // CR, LF
    kCloseBrace = 4, // '}'
    kListByte = 8,   // digits, '-', '.', ',', blanks
};

constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> t{};
    t[' '] = t['\t'] = kBlank | kListByte;
    t['\r'] = t['\n'] = kLineEnd;
    t['}'] = kCloseBrace;
    for (int c = '0'; c <= '9'; ++c)
        t[c] = kListByte;
    t['-'] = t['.'] = t[','] = kListByte;
    return t;
}

constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

inline bool Is(uint8_t c, uint8_t classes) { return (kClasses[c] & classes) != 0; }
inline bool IsBlank(uint8_t c) { return Is(c, kBlank); }
inline bool IsLineEnd(uint8_t c) { return Is(c, kLineEnd); }
inline bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
inline bool IsListByte(uint8_t c) { return Is(c, kListByte); }

// The first byte at or after p outside the classes, which include the
// blanks. Runs of spaces (the padding before every value) are passed eight
// at a time.
inline const uint8_t* SkipClasses(const uint8_t* p, const uint8_t* end, uint8_t classes)
{
    constexpr uint64_t kSpaces = 0x2020202020202020ull;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word != kSpaces)
            break;
        p += 8;
    }
    while (p < end && Is(*p, classes))
        ++p;
    return p;
}

inline uint32_t FloatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// "%d": leading white space, an optional sign, then digits; false when no
// digit follows. Values beyond 32 bits are held at the nearest limit.
bool ScanInt(std::string_view text, int32_t& out)
{
    size_t i = 0;
    while (i < text.size() && (IsBlank(text[i]) || IsLineEnd(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size() || !IsDigit(text[i]))
        return false;
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), kLimit);
    value = negative ? -value : value;
    value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    out = static_cast<int32_t>(value);
    return true;
}

// The decimal exponent of the first significant digit of a number text
// (digits, a '.', an exponent), which tells a number too large for a float
// from one too small: such numbers lie far from magnitude 0 either way.
int64_t DecimalMagnitude(const char* p, const char* last)
{
    if (p < last && (*p == '-' || *p == '+'))
        ++p;
    int64_t lead = 0;   // digits before the point, from the first non-zero one
    int64_t zeros = 0;  // zeros after the point before the first non-zero digit
    bool point = false;
    bool found = false;
    for (; p < last && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
        } else if (!found && *p == '0') {
            zeros += point ? 1 : 0;
        } else {
            found = true;
            lead += point ? 0 : 1;
        }
    }
    int64_t magnitude = lead > 0 ? lead - 1 : -(zeros + 1);
    if (p < last) {
        ++p;
        bool negative = false;
        if (p < last && (*p == '-' || *p == '+'))
            negative = *p++ == '-';
        int64_t exponent = 0;
        for (; p < last && IsDigit(*p); ++p)
            exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), int64_t(1) << 40);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

// "%f" over the bytes a number value can hold (digits, '-', '.', blanks, an
// exponent): white space, then the longest number the text begins with; false
// when it begins with none. A value too small for a float goes to 0 or the
// nearest denormal, as the C library's conversion takes it; one too large
// goes to infinity and sets `overflow`.
bool ScanFloat(std::string_view text, float& out, bool* overflow = nullptr)
{
    size_t i = 0;
    while (i < text.size() && (IsBlank(text[i]) || IsLineEnd(text[i])))
        ++i;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    float value = 0.0f;
    std::from_chars_result r = std::from_chars(first, last, value);
    if (r.ec == std::errc::invalid_argument)
        return false;
    bool large = false;
    if (r.ec == std::errc::result_out_of_range) {
        // The conversion leaves the value alone: only zero and infinity
        // remain, as a denormal would have converted.
        bool negative = *first == '-';
        large = DecimalMagnitude(first, r.ptr) >= 0;
        value = large ? std::numeric_limits<float>::infinity() : 0.0f;
        value = negative ? -value : value;
    }
    if (overflow)
        *overflow = large;
    out = value;
    return true;
}

// The names of one level read so far, to know when a setter must replace a
// child instead of appending: most names are new, and looking for each in
// the children would make a long level quadratic.
class LevelNames {
public:
    // True when the name was seen before at this level.
    bool Insert(const Nyx::PString& name)
    {
        const void* id = name.Identity();
        if (many_.empty()) {
            for (size_t i = 0; i < count_; ++i) {
                if (few_[i] == id)
                    return true;
            }
            if (count_ < kFew) {
                few_[count_++] = id;
                return false;
            }
            many_.insert(few_.begin(), few_.end());
        }
        return !many_.insert(id).second;
    }

private:
    static constexpr size_t kFew = 32;
    std::array<const void*, kFew> few_;
    size_t count_ = 0;
    std::unordered_set<const void*> many_;
};

// The interned names of one reading, so that a name met again costs a hash
// and a compare instead of a trip through the process-wide string cache.
class NameCache {
public:
    NameCache() : slots_(kSlots) {}

    Nyx::PString Get(const char* text, size_t n, uint32_t hash)
    {
        Slot& slot = slots_[hash & (kSlots - 1)];
        if (slot.hash == hash && slot.name.Length() == n && std::memcmp(slot.name.c_str(), text, n) == 0)
            return slot.name;
        slot.name = Nyx::PString(std::string_view(text, n));
        slot.hash = hash;
        return slot.name;
    }

private:
    static constexpr size_t kSlots = 1024;
    struct Slot {
        Nyx::PString name;
        uint32_t hash = 0;
    };
    std::vector<Slot> slots_;
};

// Reads config text held in memory. The text ends at `end`, which the
// caller puts at the first NUL of the data.
class TextReader {
public:
    TextReader(const uint8_t* begin, const uint8_t* end) : p_(begin), end_(end) {}

    const uint8_t* Position() const noexcept { return p_; }

    // Reads the tags of one container level into ref, `nesting` levels below
    // the root. False when a container would lie deeper than kMaxTreeDepth.
    bool ReadLevel(ChunkRef& ref, bool utf8, int nesting);

private:
    bool ReadName(Nyx::PString& name);
    ValueKind SniffValue();
    ValueKind ScanList(const uint8_t* from) const;
    void ConsumeCloseBrace();
    // The value text at the position into text_ (NUL-terminated, the NUL not
    // counted); room bounds the bytes kept, as for a fixed token buffer.
    void ReadText(size_t room, bool token);
    void ReadToken(size_t room) { ReadText(room, true); }
    void ReadString() { ReadText(std::numeric_limits<size_t>::max(), false); }
    std::string_view Text() const noexcept { return {text_.Data(), text_.Count()}; }

    void Store(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, ChunkRef child);
    void StoreValue(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, ACSValueType type,
                    ACSRawData data);
    void StoreString(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, bool utf8);
    void StoreNumberList(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, bool utf8);

    const uint8_t* p_;
    const uint8_t* end_;
    CharArray text_;
    NameCache names_;
};

bool TextReader::ReadName(Nyx::PString& name)
{
    p_ = SkipClasses(p_, end_, kBlank | kLineEnd);
    if (p_ == end_ || *p_ == '}')
        return false;
    char lowered[kMaxReadName];
    size_t n = 0;
    uint32_t hash = 2166136261u;
    for (; p_ < end_; ++p_) {
        uint8_t c = *p_;
        if (Is(c, kBlank | kLineEnd | kCloseBrace))
            break;
        if (n < kMaxReadName) {
            c = c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + ('a' - 'A')) : c;
            lowered[n++] = static_cast<char>(c);
            hash = (hash ^ c) * 16777619u;
        }
    }
    name = names_.Get(lowered, n, hash);
    return true;
}

// The first CR or LF in [p, end), or end. Quoted texts rarely hold one, so
// two fast searches beat a look at every byte.
inline const uint8_t* NextLineEnd(const uint8_t* p, const uint8_t* end)
{
    const void* cr = std::memchr(p, '\r', size_t(end - p));
    const uint8_t* limit = cr ? static_cast<const uint8_t*>(cr) : end;
    const void* lf = std::memchr(p, '\n', size_t(limit - p));
    return lf ? static_cast<const uint8_t*>(lf) : limit;
}

ValueKind TextReader::ScanList(const uint8_t* from) const
{
    while (from < end_) {
        if (IsListByte(*from)) {
            ++from;
        } else if (*from == 'e' && from[-1] >= '0' && from[-1] <= '9' && from + 2 < end_ &&
                   (from[1] == '+' || from[1] == '-') && IsDigit(from[2])) {
            // A list piece the writer printed with an exponent ("1e+10"). The
            // exponent ends the piece: "1e+5.5" is no number.
            from += 3;
            while (from < end_ && IsDigit(*from))
                ++from;
            if (from < end_ && !Is(*from, kBlank | kLineEnd) && *from != ',')
                return ValueKind::String;
        } else {
            break;
        }
    }
    return from == end_ || IsLineEnd(*from) ? ValueKind::NumberList : ValueKind::String;
}

ValueKind TextReader::SniffValue()
{
    // Every kind but a container goes back to where the classification
    // began; as whatever reads next skips the blanks here first, the reader
    // can as well stay behind them.
    p_ = SkipClasses(p_, end_, kBlank);
    const uint8_t* q = p_;
    if (q == end_ || *q == '}')
        return ValueKind::None;
    uint8_t c = *q;
    if (IsLineEnd(c)) {
        q = SkipClasses(q, end_, kBlank | kLineEnd);
        if (q < end_ && *q == '{') {
            p_ = q + 1;
            return ValueKind::Container;
        }
        return ValueKind::None;
    }
    if (c == '{') {
        p_ = q + 1;
        return ValueKind::Container;
    }
    if (c == '"')
        return ValueKind::String;
    if (c == ',')
        return ScanList(q);
    if (!IsDigit(c) && c != '-' && c != '.')
        return ValueKind::String;

    const uint8_t* r = q;
    if (*r == '-')
        ++r;
    bool dot = false;
    while (r < end_ && (IsDigit(*r) || *r == '.'))
        dot |= *r++ == '.';
    // The writer prints floats with "%g", which gives "1e+10" for large and
    // small values: take that exact form (a signed exponent after a digit) as
    // a float, so what the writer wrote reads back as the float it was.
    if (r > q && IsDigit(r[-1]) && r + 2 < end_ && *r == 'e' && (r[1] == '+' || r[1] == '-') && IsDigit(r[2])) {
        r += 3;
        while (r < end_ && IsDigit(*r))
            ++r;
        dot = true;
    }
    while (r < end_ && IsBlank(*r))
        ++r;
    if (r == end_ || IsLineEnd(*r))
        return dot ? ValueKind::Float : ValueKind::Integer;
    return ScanList(q);
}

void TextReader::ConsumeCloseBrace()
{
    const uint8_t* q = p_;
    while (q < end_ && (IsBlank(*q) || IsLineEnd(*q)))
        ++q;
    if (q < end_ && *q == '}')
        p_ = q + 1;
}

void TextReader::ReadText(size_t room, bool token)
{
    text_.Clear();
    p_ = SkipClasses(p_, end_, kBlank);
    if (p_ == end_ || *p_ == '}' || IsLineEnd(*p_)) {
        text_.Append('\0');
        text_.Resize(0);
        return;
    }
    bool quoted = *p_ == '"';
    if (quoted)
        ++p_;

    // The text's extent first, so the array grows once: it grows by fixed
    // steps, which would copy a long text over and over.
    const uint8_t* stop = p_;
    if (quoted) {
        const void* q = std::memchr(p_, '"', size_t(end_ - p_));
        stop = q ? static_cast<const uint8_t*>(q) : end_;
    } else {
        while (stop < end_ && !Is(*stop, kLineEnd | kCloseBrace))
            ++stop;
    }
    // A line end may become two bytes; the text is cut to the room (less
    // its terminator) as it is read.
    size_t limit = std::min<size_t>(size_t(stop - p_) * 2, room - 1);
    if (limit >= std::numeric_limits<uint32_t>::max())
        limit = std::numeric_limits<uint32_t>::max() - 1;
    text_.Resize(static_cast<uint32_t>(limit + 1));
    char* out = text_.Data();
    size_t n = 0;
    // Copies the bytes up to `to` unchanged, as far as the room goes.
    auto copy = [&](const uint8_t* to) {
        size_t k = std::min<size_t>(size_t(to - p_), limit - n);
        std::memcpy(out + n, p_, k);
        n += k;
        p_ = to;
    };
    auto lineEnd = [&] {
        for (char c : {'\r', '\n'}) {
            if (n < limit)
                out[n++] = c;
        }
    };
    if (quoted) {
        while (p_ < stop) {
            const uint8_t* q = NextLineEnd(p_, stop);
            copy(q);
            if (p_ == stop)
                break;
            // Any of CR, LF, CR LF and LF CR is one line end.
            uint8_t c = *p_++;
            if (p_ < stop && IsLineEnd(*p_) && *p_ != c)
                ++p_;
            lineEnd();
        }
        if (p_ < end_)
            ++p_;  // the closing quotation mark
    } else {
        while (p_ < stop) {
            const void* slash = std::memchr(p_, '\\', size_t(stop - p_));
            copy(slash ? static_cast<const uint8_t*>(slash) : stop);
            if (p_ == stop)
                break;
            if (p_ + 1 < stop && p_[1] == 'n') {
                p_ += 2;
                lineEnd();
            } else {
                copy(p_ + 1);
            }
        }
    }
    text_.Resize(static_cast<uint32_t>(n));
    if (token && text_.Count() > 0 && text_.Data()[text_.Count() - 1] == '\\')
        text_.Resize(text_.Count() - 1);
    uint32_t count = text_.Count();
    text_.Append('\0');
    text_.Resize(count);
}

void TextReader::Store(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, ChunkRef child)
{
    ref.EnsureContainer();
    // A repeated name keeps only its last value, placed after the others.
    if (names.Insert(name))
        TDBContainerTag::RemoveChild(ref, name);
    ref->AddChild(name, std::move(child));
}

void TextReader::StoreValue(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, ACSValueType type,
                            ACSRawData data)
{
    auto* tag = new TDBDataTag;
    ChunkRef child(tag);
    tag->SetValue(type, std::move(data));
    Store(ref, names, name, std::move(child));
}

void TextReader::StoreNumberList(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, bool utf8)
{
    // The whole list, however long: the writer puts every value of a list on
    // one line.
    const uint8_t* start = p_;
    ReadToken(std::numeric_limits<size_t>::max());
    std::vector<uint8_t> bytes;
    std::string_view text = Text();
    // Pieces end where the classification let them: at blanks (the tab too)
    // and commas.
    auto separates = [](char c) { return IsBlank(static_cast<uint8_t>(c)) || c == ','; };
    float previous = 0.0f;
    size_t i = 0;
    while (i < text.size()) {
        if (separates(text[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < text.size() && !separates(text[j]))
            ++j;
        std::string_view piece = text.substr(i, j - i);
        float value;
        bool overflow = false;
        // A piece that is no number repeats the value before it (0 for
        // the first).
        if (!ScanFloat(piece, value, &overflow))
            value = previous;
        // As for a single value: an exponent past the float range keeps the
        // whole text a string.
        if (overflow && piece.find('e') != std::string_view::npos) {
            p_ = start;
            StoreString(ref, names, name, utf8);
            return;
        }
        previous = value;
        size_t at = bytes.size();
        bytes.resize(at + 4);
        StoreLE32(bytes.data() + at, FloatBits(value));
        i = j;
    }
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        // As the setter does with an empty list: the old child goes.
        ref.EnsureContainer();
        if (names.Insert(name))
            TDBContainerTag::RemoveChild(ref, name);
        return;
    }
    StoreValue(ref, names, name, ACS_TYPE_FLOAT,
               ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size())));
}

size_t CountOccurrences(std::string_view text, std::string_view what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

void TextReader::StoreString(ChunkRef& ref, LevelNames& names, const Nyx::PString& name, bool utf8)
{
    ReadString();
    std::string_view text = Text();
    const char* cText = text_.Data();

    // A text naming several KUIDs is a list for some other reader, not one.
    if (cText[0] == '<'
        && (WildcardPrefixMatch("<kuid:", cText) || WildcardPrefixMatch("<kuid2:", cText)
            || WildcardPrefixMatch("<null>", cText))
        && CountOccurrences(text, "<kuid:") + CountOccurrences(text, "<kuid2:") <= 1) {
        uint8_t bytes[KUID::kPackedSize];
        KUID::Parse(cText, false).ToChunk(bytes);
        StoreValue(ref, names, name, ACS_TYPE_KUID, ACSRawData::Copy(bytes, sizeof bytes));
        return;
    }

    if (!utf8) {
        bool ansi = false;
        for (char c : text)
            ansi |= static_cast<uint8_t>(c) >= 0x80;
        if (ansi) {
            uint64_t room = uint64_t(text.size()) * 3 + 1;
            uint32_t count = text_.Count();
            if (room <= std::numeric_limits<uint32_t>::max()) {
                text_.Reserve(static_cast<uint32_t>(room));
                text_.Data()[count] = '\0';
                if (ConvertAnsiToUTF8(text_.Data(), text_.Capacity()) == 0)
                    text_.Resize(static_cast<uint32_t>(std::strlen(text_.Data())));
                else
                    text_.Resize(0);
            } else {
                text_.Resize(0);
            }
            text = Text();
        }
    }

    // The empty string has no bytes, as the string setter stores it.
    ACSRawData data;
    if (!text.empty() && text.size() < std::numeric_limits<uint32_t>::max())
        data = ACSRawData::Copy(text.data(), static_cast<uint32_t>(text.size() + 1));
    StoreValue(ref, names, name, ACS_TYPE_STRING, std::move(data));
}

bool TextReader::ReadLevel(ChunkRef& ref, bool utf8, int nesting)
{
    if (!utf8 && end_ - p_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) {
        p_ += 3;
        utf8 = true;
    }
    LevelNames names;
    Nyx::PString name;
    while (ReadName(name)) {
        switch (SniffValue()) {
        case ValueKind::None:
            StoreValue(ref, names, name, ACS_TYPE_NONE, ACSRawData());
            break;
        case ValueKind::Container: {
            if (nesting + 1 > kMaxTreeDepth)
                return false;
            ChunkRef child;
            if (!ReadLevel(child, utf8, nesting + 1))
                return false;
            ConsumeCloseBrace();
            child.EnsureContainer();
            Store(ref, names, name, std::move(child));
            break;
        }
        case ValueKind::Integer: {
            ReadToken(kNumberTokenRoom);
            int32_t value = 0;
            // A lone "-" is taken for a number but holds none: it reads as 0.
            if (!ScanInt(Text(), value))
                value = 0;
            uint8_t bytes[4];
            StoreLE32(bytes, static_cast<uint32_t>(value));
            StoreValue(ref, names, name, ACS_TYPE_INT, ACSRawData::Copy(bytes, sizeof bytes));
            break;
        }
        case ValueKind::Float: {
            const uint8_t* start = p_;
            ReadToken(kNumberTokenRoom);
            float value = 0.0f;
            bool overflow = false;
            if (!ScanFloat(Text(), value, &overflow))
                value = 0.0f;
            // Only an exponent reaches past the float range. Infinity would
            // be written back as "inf", which reads as a string: the text
            // stays one from the start.
            if (overflow) {
                p_ = start;
                StoreString(ref, names, name, utf8);
                break;
            }
            uint8_t bytes[4];
            StoreLE32(bytes, FloatBits(value));
            StoreValue(ref, names, name, ACS_TYPE_FLOAT, ACSRawData::Copy(bytes, sizeof bytes));
            break;
        }
        case ValueKind::NumberList:
            StoreNumberList(ref, names, name, utf8);
            break;
        case ValueKind::String:
            StoreString(ref, names, name, utf8);
            break;
        }
    }
    return true;
}

// The stream's bytes from its position up to its end or its first NUL.
class StreamText {
public:
    explicit StreamText(TStream& stream)
    {
        // The size is only a first guess: whatever the stream still gives
        // after it is read as well.
        uint32_t at = stream.Tell();
        uint32_t size = stream.GetSize();
        Grow(std::max<size_t>(size > at ? size - at : 0, 4096) + 1);
        for (;;) {
            if (size_ == capacity_)
                Grow(capacity_ * 2);
            size_t want = std::min<size_t>(capacity_ - size_, 1u << 30);
            uint32_t got = stream.ReadBytes(data_.get() + size_, static_cast<uint32_t>(want));
            if (const void* nul = std::memchr(data_.get() + size_, 0, got)) {
                size_ = size_t(static_cast<const uint8_t*>(nul) - data_.get());
                return;
            }
            size_ += got;
            if (got < want)
                return;
        }
    }

    const uint8_t* Begin() const noexcept { return data_.get(); }
    const uint8_t* End() const noexcept { return data_.get() + size_; }

private:
    void Grow(size_t capacity)
    {
        // Left uninitialised: every byte used is read into first.
        std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
        if (size_)
            std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        capacity_ = capacity;
    }

    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace
}  // namespace ConfigText

bool ReadConfigText(ChunkRef& out, TStream& stream, bool utf8)
{
    out.Release();
    if (!stream.IsOpen())
        return false;
    uint32_t start = stream.Tell();
    ConfigText::StreamText text(stream);
    ConfigText::TextReader reader(text.Begin(), text.End());
    ChunkRef root;
    bool ok = reader.ReadLevel(root, utf8, 0);
    stream.SetPosition(start + static_cast<uint32_t>(reader.Position() - text.Begin()));
    if (ok)
        out = std::move(root);
    return ok;
}
