// Conversions between value types of config data, through a global registry
// of converters. Getters read any stored type as the type they want: a
// string "12" reads as the integer 12, an integer reads as decimal text.
//
// Every converter reads only the bytes the input reports: a text need not be
// NUL-terminated (raw data may come straight from a file) and a KUID must be
// exactly 8 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/tree/ACSChunk.h"
#include "config/tree/ACSRawDataCore.h"

class ACSConverter {
public:
    ACSConverter(const ACSConverter&) = delete;
    ACSConverter& operator=(const ACSConverter&) = delete;
    virtual ~ACSConverter();

    virtual void Convert(const ACSRawData& in, ACSRawData& out) const = 0;

    ACSValueType InputType() const noexcept { return input_; }
    ACSValueType OutputType() const noexcept { return output_; }
    const ACSConverter* Next() const noexcept { return next_; }

    // The first converter of the list, with the six built-in ones made on
    // the first call (in their fixed order, ahead of any made later).
    static const ACSConverter* First();

protected:
    // Registers the converter at the end of the global list.
    ACSConverter(ACSValueType input, ACSValueType output);

private:
    ACSValueType input_;
    ACSValueType output_;
    ACSConverter* next_ = nullptr;
};

// Text -> integer: "%d" of a text that passes IsNumberText, else null.
class ACSConverter_TextInt : public ACSConverter {
public:
    ACSConverter_TextInt() : ACSConverter(ACS_TYPE_STRING, ACS_TYPE_INT) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// Text -> float: "%f" of a text that passes IsNumberText, else null.
class ACSConverter_TextFloat : public ACSConverter {
public:
    ACSConverter_TextFloat() : ACSConverter(ACS_TYPE_STRING, ACS_TYPE_FLOAT) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// Text -> KUID: the lenient parse; unreadable text gives the null KUID.
class ACSConverter_TextKUID : public ACSConverter {
public:
    ACSConverter_TextKUID() : ACSConverter(ACS_TYPE_STRING, ACS_TYPE_KUID) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// Integers -> text: each whole 4-byte value as "%d", joined by ",".
class ACSConverter_IntText : public ACSConverter {
public:
    ACSConverter_IntText() : ACSConverter(ACS_TYPE_INT, ACS_TYPE_STRING) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// Floats -> text: each whole 4-byte value as "%g", joined by ",".
class ACSConverter_FloatText : public ACSConverter {
public:
    ACSConverter_FloatText() : ACSConverter(ACS_TYPE_FLOAT, ACS_TYPE_STRING) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// KUID -> text: KUID::ToString of an 8-byte chunk-form KUID.
class ACSConverter_KUIDText : public ACSConverter {
public:
    ACSConverter_KUIDText() : ACSConverter(ACS_TYPE_KUID, ACS_TYPE_STRING) {}
    void Convert(const ACSRawData& in, ACSRawData& out) const override;
};

// Same type: the input itself, shared. From ACS_TYPE_NONE: null. Else the
// first direct converter in list order, then the first two-step path (A
// into a temporary, then B) in list order; null when there is none.
void ACSConvert(ACSValueType inType, const ACSRawData& in, ACSValueType outType, ACSRawData& out);
ACSRawData ACSConvert(ACSValueType inType, const ACSRawData& in, ACSValueType outType);

// The texts of number values, as their converters to ACS_TYPE_STRING give
// them, appended to `out`: each whole 4-byte value ("%d", or "%g" for
// floats), joined by ",". Nothing for a value without a whole number.
void AppendIntText(std::string& out, const uint8_t* data, uint32_t size);
void AppendFloatText(std::string& out, const uint8_t* data, uint32_t size);

// Whether a text reads as a number for the text converters: an optional
// '-', digits with at most one '.', and after that '.' at most one exponent
// "e+" or "e-" followed by digits; trailing blanks and tabs are ignored.
bool IsNumberText(std::string_view text);

// The text a string value holds: its bytes up to the first NUL or its size,
// whichever comes first.
std::string_view RawDataText(const ACSRawData& data) noexcept;
