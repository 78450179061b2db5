#include "config/tree/ACSConvert.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "config/kuid/KUID.h"
#include "core/streams/LittleEndian.h"

namespace {

// The list head, made on first use so that a converter constructed by any
// static initialiser finds it ready.
struct ConverterList {
    std::mutex lock;
    ACSConverter* head = nullptr;
};

ConverterList& TheList()
{
    static ConverterList* list = new ConverterList;
    return *list;
}

float LoadFloatLE(const uint8_t* p) noexcept
{
    uint32_t bits = LoadLE32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

ACSRawData FourBytes(uint32_t bits)
{
    uint8_t b[4];
    StoreLE32(b, bits);
    return ACSRawData::Copy(b, 4);
}

// A string value's bytes: the text and its NUL; the empty text has none.
ACSRawData TextValue(const std::string& text)
{
    if (text.empty())
        return {};
    return ACSRawData::Copy(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

}  // namespace

// ---- registry ----

ACSConverter::ACSConverter(ACSValueType input, ACSValueType output) : input_(input), output_(output)
{
    ConverterList& list = TheList();
    std::lock_guard<std::mutex> guard(list.lock);
    ACSConverter** link = &list.head;
    while (*link)
        link = &(*link)->next_;
    *link = this;
}

ACSConverter::~ACSConverter()
{
    ConverterList& list = TheList();
    std::lock_guard<std::mutex> guard(list.lock);
    for (ACSConverter** link = &list.head; *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
}

const ACSConverter* ACSConverter::First()
{
    // The built-in converters live for the whole program; being reachable
    // from the list they are never reported as leaks.
    static const bool builtIn = [] {
        new ACSConverter_TextInt;
        new ACSConverter_TextFloat;
        new ACSConverter_TextKUID;
        new ACSConverter_IntText;
        new ACSConverter_FloatText;
        new ACSConverter_KUIDText;
        return true;
    }();
    (void)builtIn;
    // Read without the lock: converters are registered at start-up, and the
    // built-in ones are published by the guard of the static above.
    return TheList().head;
}

// ---- the six converters ----

void ACSConverter_TextInt::Convert(const ACSRawData& in, ACSRawData& out) const
{
    std::string text(RawDataText(in));
    if (!IsNumberText(text)) {
        out.Release();
        return;
    }
    // A text that passes the test may still hold no number (".", blanks
    // only); it then reads as 0 rather than as whatever the block held.
    int value = 0;
    std::sscanf(text.c_str(), "%d", &value);
    out = FourBytes(static_cast<uint32_t>(value));
}

void ACSConverter_TextFloat::Convert(const ACSRawData& in, ACSRawData& out) const
{
    std::string text(RawDataText(in));
    if (!IsNumberText(text)) {
        out.Release();
        return;
    }
    float value = 0.0f;
    std::sscanf(text.c_str(), "%f", &value);
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out = FourBytes(bits);
}

void ACSConverter_TextKUID::Convert(const ACSRawData& in, ACSRawData& out) const
{
    std::string text(RawDataText(in));
    KUID kuid = KUID::Parse(text.c_str(), false);
    uint8_t bytes[KUID::kPackedSize];
    kuid.ToChunk(bytes);
    out = ACSRawData::Copy(bytes, sizeof bytes);
}

void ACSConverter_IntText::Convert(const ACSRawData& in, ACSRawData& out) const
{
    std::string text;
    AppendIntText(text, in.Data(), in.Size());
    out = TextValue(text);
}

void ACSConverter_FloatText::Convert(const ACSRawData& in, ACSRawData& out) const
{
    std::string text;
    AppendFloatText(text, in.Data(), in.Size());
    out = TextValue(text);
}

void ACSConverter_KUIDText::Convert(const ACSRawData& in, ACSRawData& out) const
{
    // Anything but a whole chunk-form KUID has no text: reading 8 bytes out
    // of a shorter value would run past its end.
    if (in.Size() != KUID::kPackedSize) {
        out.Release();
        return;
    }
    Nyx::PString text = KUID::FromChunk(in.Data()).ToString();
    out = ACSRawData::Copy(text.c_str(), text.Length() + 1);
}

// ---- number texts ----

void AppendIntText(std::string& out, const uint8_t* data, uint32_t size)
{
    uint32_t whole = data ? size / 4 : 0;
    char number[16];
    for (uint32_t i = 0; i < whole; ++i) {
        if (i)
            out += ',';
        // The same digits as "%d", without the format parser.
        const auto value = static_cast<int32_t>(LoadLE32(data + 4 * i));
        out.append(number, std::to_chars(number, number + sizeof number, value).ptr);
    }
}

void AppendFloatText(std::string& out, const uint8_t* data, uint32_t size)
{
    uint32_t whole = data ? size / 4 : 0;
    char number[64];
    for (uint32_t i = 0; i < whole; ++i) {
        if (i)
            out += ',';
        std::snprintf(number, sizeof number, "%g", static_cast<double>(LoadFloatLE(data + 4 * i)));
        out += number;
    }
}

// ---- conversion ----

void ACSConvert(ACSValueType inType, const ACSRawData& in, ACSValueType outType, ACSRawData& out)
{
    // The result is built aside: `out` may be the very reference `in` is.
    ACSRawData result;
    if (inType == outType) {
        result = in;
    } else if (inType != ACS_TYPE_NONE) {
        const ACSConverter* first = ACSConverter::First();
        const ACSConverter* direct = nullptr;
        for (const ACSConverter* c = first; c && !direct; c = c->Next()) {
            if (c->InputType() == inType && c->OutputType() == outType)
                direct = c;
        }
        if (direct) {
            direct->Convert(in, result);
        } else {
            bool found = false;
            for (const ACSConverter* a = first; a && !found; a = a->Next()) {
                if (a->InputType() != inType)
                    continue;
                for (const ACSConverter* b = first; b; b = b->Next()) {
                    if (b->InputType() == a->OutputType() && b->OutputType() == outType) {
                        ACSRawData temp;
                        a->Convert(in, temp);
                        b->Convert(temp, result);
                        found = true;
                        break;
                    }
                }
            }
        }
    }
    out = std::move(result);
}

ACSRawData ACSConvert(ACSValueType inType, const ACSRawData& in, ACSValueType outType)
{
    ACSRawData out;
    ACSConvert(inType, in, outType, out);
    return out;
}

bool IsNumberText(std::string_view text)
{
    if (text.empty() || text == "-")
        return false;
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    size_t i = 0;
    if (i < end && text[i] == '-')
        ++i;
    bool dot = false;
    bool exponent = false;
    while (i < end) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            ++i;
        } else if (c == '.') {
            if (dot)
                return false;
            dot = true;
            ++i;
        } else if (c == 'e') {
            // "%g" writes large and small floats as "1e+10" with no '.', so an
            // exponent after plain digits must count too, or such values
            // written by the config writer could never be read as floats.
            bool digitBefore = i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9';
            if (exponent || !(dot || digitBefore))
                return false;
            if (i + 1 >= end || (text[i + 1] != '+' && text[i + 1] != '-'))
                return false;
            if (i + 2 >= end)
                return false;
            exponent = true;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

std::string_view RawDataText(const ACSRawData& data) noexcept
{
    const char* p = reinterpret_cast<const char*>(data.Data());
    if (!p)
        return {};
    const void* nul = std::memchr(p, 0, data.Size());
    size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : data.Size();
    return {p, n};
}
