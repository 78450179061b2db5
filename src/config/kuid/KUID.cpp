#include "config/kuid/KUID.h"

#include <climits>

#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"

namespace {

constexpr uint32_t kUserMask = KUID::kPackedUserMask;
constexpr int32_t kMaxVersion = 127;

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

char Lower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive prefix test; stops at the text's NUL, so short texts are safe.
bool StartsWithNoCase(const char* text, const char* prefix) noexcept
{
    for (; *prefix; ++text, ++prefix)
        if (*text == '\0' || Lower(*text) != Lower(*prefix))
            return false;
    return true;
}

bool IsScanSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" conversion: leading white space, an optional sign, then at least
// one digit. A number beyond int32 sets `outOfRange`: "%d" leaves its value
// undefined, and a clamped or wrapped one could name another asset.
bool ScanInt(const char*& p, int32_t& out, bool& outOfRange) noexcept
{
    const char* q = p;
    while (IsScanSpace(*q))
        ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = *q == '-';
        ++q;
    }
    if (!IsDigit(*q))
        return false;
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    for (; IsDigit(*q); ++q) {
        // The number goes on to its last digit; past the limit its value
        // no longer matters.
        if (value <= limit)
            value = value * 10 + (*q - '0');
    }
    if (value > limit) {
        outOfRange = true;
        return false;
    }
    out = static_cast<int32_t>(negative ? -value : value);
    p = q;
    return true;
}

// Reads "%d" followed by further ":%d" conversions into fields, in order,
// stopping at the first that fails (the fields behind keep their values).
// False when a number read was out of range.
bool ScanFields(const char* p, int32_t* fields[], int count) noexcept
{
    bool outOfRange = false;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*p != ':')
                break;
            ++p;
        }
        if (!ScanInt(p, *fields[i], outOfRange))
            break;
    }
    return !outOfRange;
}

// Strict-mode pattern pieces. Each advances p on success.
bool MatchDigits(const char*& p) noexcept
{
    if (!IsDigit(*p))
        return false;
    while (IsDigit(*p))
        ++p;
    return true;
}

bool MatchChar(const char*& p, char c) noexcept
{
    if (*p != c)
        return false;
    ++p;
    return true;
}

// ['-'] digits ':' digits
bool MatchSignedPair(const char*& p) noexcept
{
    if (*p == '-')
        ++p;
    return MatchDigits(p) && MatchChar(p, ':') && MatchDigits(p);
}

// Only digits, '-' and ':' up to the end (or up to a final '>' when
// allowClose), with exactly `colons` colons.
bool IsNumberText(const char* p, int colons, bool allowClose) noexcept
{
    int seen = 0;
    for (; *p; ++p) {
        if (*p == ':')
            ++seen;
        else if (*p == '>' && allowClose)
            return p[1] == '\0' && seen == colons;
        else if (!IsDigit(*p) && *p != '-')
            return false;
    }
    return seen == colons;
}

int32_t ShortFormVersion(int32_t user) noexcept
{
    return user < 0 ? kMaxVersion : 0;
}

// "%d:%d" (user, content); the version follows the user id's sign.
KUID ReadShortForm(const char* p) noexcept
{
    KUID k = KUID::Null;
    int32_t* fields[] = {&k.user, &k.content};
    if (!ScanFields(p, fields, 2))
        return KUID::Null;
    k.version = ShortFormVersion(k.user);
    return k;
}

// "%d:%d:%d" (user, content, version); a negative user id or one beyond 25
// bits is refused outright.
KUID ReadLongForm(const char* p) noexcept
{
    KUID k = KUID::Null;
    int32_t* fields[] = {&k.user, &k.content, &k.version};
    if (!ScanFields(p, fields, 3))
        return KUID::Null;
    if (static_cast<uint32_t>(k.user) > kUserMask)
        return KUID::Null;
    return k;
}

// Only user ids that the 25-bit packed field carries unchanged are kept, so a
// parsed KUID never changes when it is first written out. A negative user id
// is valid only with version 127.
KUID CheckRange(const KUID& k) noexcept
{
    if (static_cast<uint32_t>(k.version) > static_cast<uint32_t>(kMaxVersion))
        return KUID::Null;
    const uint32_t top = static_cast<uint32_t>(k.user) >> 24;
    if (top == 0)
        return k;
    if (top == 0xffu && k.version == kMaxVersion)
        return k;
    return KUID::Null;
}

KUID ParseUnchecked(const char* text, bool strict) noexcept
{
    if (text == nullptr)
        return KUID::Null;
    if (StartsWithNoCase(text, "<NU"))
        return KUID::Null;
    // Texts shorter than three characters end before index 3.
    if (text[0] && text[1] && text[2] && StartsWithNoCase(text + 3, "LL>"))
        return KUID::Null;

    if (StartsWithNoCase(text, "<kuid:")) {
        const char* rest = text + 6;
        if (strict) {
            const char* p = rest;
            if (!(MatchSignedPair(p) && MatchChar(p, '>') && *p == '\0'))
                return KUID::Null;
        }
        return ReadShortForm(rest);
    }
    if (StartsWithNoCase(text, "<kuid2:")) {
        const char* rest = text + 7;
        if (strict) {
            const char* p = rest;
            if (!(MatchDigits(p) && MatchChar(p, ':') && MatchDigits(p) && MatchChar(p, ':') && MatchDigits(p)
                  && MatchChar(p, '>') && *p == '\0'))
                return KUID::Null;
        }
        return ReadLongForm(rest);
    }
    const bool bareShort = StartsWithNoCase(text, "kuid:");
    if (bareShort || StartsWithNoCase(text, "kuid2:")) {
        const char* rest = text + (bareShort ? 5 : 6);
        if (strict) {
            const char* p = rest;
            if (!MatchSignedPair(p))
                return KUID::Null;
        }
        return bareShort ? ReadShortForm(rest) : ReadLongForm(rest);
    }
    if (strict)
        return KUID::Null;

    if (IsNumberText(text, 1, false))
        return ReadShortForm(text);
    if (text[0] == '<' && IsNumberText(text + 1, 1, true))
        return ReadShortForm(text + 1);
    if (IsNumberText(text, 0, false)) {
        KUID k = KUID::Null;
        int32_t* fields[] = {&k.content};
        return ScanFields(text, fields, 1) ? k : KUID::Null;
    }
    return KUID::Null;
}

// The two-number texts serve a KUID whose version follows from its user id.
bool HasShortForm(const KUID& k) noexcept
{
    return (k.version == 0 && k.user >= 0) || (k.version == kMaxVersion && k.user < 0);
}

}  // namespace

const Nyx::PString& KUIDNullText()
{
    // Function-local so that constants of other units may use it during their
    // own static initialisation.
    static const Nyx::PString text("<NULL>");
    return text;
}

void KUID::ToChunk(uint8_t out[kPackedSize]) const noexcept
{
    StoreLE32(out, PackedWord());
    StoreLE32(out + 4, static_cast<uint32_t>(content));
}

KUID KUID::FromChunk(const uint8_t in[kPackedSize]) noexcept
{
    return FromPacked(LoadLE32(in), static_cast<int32_t>(LoadLE32(in + 4)));
}

Nyx::PString KUID::ToString() const
{
    if (IsNull())
        return KUIDNullText();
    if (HasShortForm(*this))
        return Nyx::PString(Nyx::String::Printf("<kuid:%d:%d>", user, content).View());
    return Nyx::PString(Nyx::String::Printf("<kuid2:%d:%d:%d>", user, content, version).View());
}

Nyx::PString KUID::ToShortString() const
{
    if (IsNull())
        return KUIDNullText();
    return Nyx::PString(Nyx::String::Printf("<kuid:%d:%d>", user, content).View());
}

Nyx::String KUID::ToPlainString() const
{
    if (IsNull())
        return Nyx::String("NULLKUID");
    if (HasShortForm(*this))
        return Nyx::String::Printf("kuid %d %d", user, content);
    return Nyx::String::Printf("kuid2 %d %d %d", user, content, version);
}

KUID KUID::Parse(const char* text, bool strict)
{
    return CheckRange(ParseUnchecked(text, strict));
}

void WriteKUID(TStream& s, const KUID& k)
{
    // Each write gives back the stream's read-ahead first.
    s.WriteInt32(k.content);
    s.WriteInt32(k.PackedWord());
}

void ReadKUID(TStream& s, KUID& out)
{
    int32_t content;
    uint32_t packed;
    s.ReadInt32(content, KUID::Null.content);
    s.ReadInt32(packed, KUID::Null.PackedWord());
    out = KUID::FromPacked(packed, content);
}
