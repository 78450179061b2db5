#include "config/tree/ACSConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/kuid/KUID.h"

namespace {

ACSRawData Text(const char* s)
{
    return ACSRawData::Copy(s, static_cast<uint32_t>(std::strlen(s) + 1));
}

ACSRawData Ints(std::vector<int32_t> v)
{
    return ACSRawData::Copy(v.data(), static_cast<uint32_t>(v.size() * 4));
}

ACSRawData Floats(std::vector<float> v)
{
    return ACSRawData::Copy(v.data(), static_cast<uint32_t>(v.size() * 4));
}

ACSRawData Kuid(const KUID& k)
{
    uint8_t b[8];
    k.ToChunk(b);
    return ACSRawData::Copy(b, 8);
}

std::vector<uint8_t> Bytes(const ACSRawData& d)
{
    return {d.Data(), d.Data() + d.Size()};
}

std::string AsText(const ACSRawData& d)
{
    return std::string(RawDataText(d));
}

int32_t AsInt(const ACSRawData& d)
{
    int32_t v;
    std::memcpy(&v, d.Data(), 4);
    return v;
}

float AsFloat(const ACSRawData& d)
{
    float v;
    std::memcpy(&v, d.Data(), 4);
    return v;
}

TEST(IsNumberTextTest, AcceptsOnlyPlainDecimalsWithOptionalExponentAfterADot)
{
    struct Case {
        const char* text;
        bool number;
    } cases[] = {
        {"", false},        {"-", false},          {"0", true},          {"-5", true},
        {"12a", false},     {"4x2", false},        {"1.5", true},        {".5", true},
        {"5.", true},       {".", true},           {"-.", true},         {"1.2.3", false},
        {"1e5", false},     {"1e+5", true},       {"1.5e5", false},     {"1.5e+", false},
        {"1.5e+3", true},   {"1.5e-3", true},      {"1.5e+3e+3", false}, {"1.5e+x", false},
        {"1.5e+3.2", false}, {"5 \t ", true},      {" 5", false},        {"1 2", false},
        {"--1", false},     {"1-2", false},        {"   ", true},        {"- ", true},
        {"1.5E+3", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNumberText(c.text), c.number) << '"' << c.text << '"';
}

TEST(ACSConvertTest, TextToNumbers)
{
    EXPECT_EQ(Bytes(ACSConvert(ACS_TYPE_STRING, Text("12"), ACS_TYPE_INT)), (std::vector<uint8_t>{0x0C, 0, 0, 0}));
    EXPECT_EQ(AsInt(ACSConvert(ACS_TYPE_STRING, Text("-7 "), ACS_TYPE_INT)), -7);
    EXPECT_EQ(AsInt(ACSConvert(ACS_TYPE_STRING, Text("1.9"), ACS_TYPE_INT)), 1);
    EXPECT_FALSE(ACSConvert(ACS_TYPE_STRING, Text("12a"), ACS_TYPE_INT));
    EXPECT_FLOAT_EQ(AsFloat(ACSConvert(ACS_TYPE_STRING, Text("1.5e+3"), ACS_TYPE_FLOAT)), 1500.0f);
    EXPECT_FALSE(ACSConvert(ACS_TYPE_STRING, Text("1e5"), ACS_TYPE_FLOAT));
    // The float text the writer prints for large values converts back.
    EXPECT_FLOAT_EQ(AsFloat(ACSConvert(ACS_TYPE_STRING, Text("1e+10"), ACS_TYPE_FLOAT)), 1e10f);
    // The empty string has no bytes and is no number.
    EXPECT_FALSE(ACSConvert(ACS_TYPE_STRING, ACSRawData(), ACS_TYPE_INT));
}

TEST(ACSConvertTest, NumberTextWithoutDigitsReadsAsZero)
{
    for (const char* text : {".", "   ", "-.", "- "}) {
        ACSRawData i = ACSConvert(ACS_TYPE_STRING, Text(text), ACS_TYPE_INT);
        ASSERT_EQ(i.Size(), 4u) << text;
        EXPECT_EQ(AsInt(i), 0) << text;
        ACSRawData f = ACSConvert(ACS_TYPE_STRING, Text(text), ACS_TYPE_FLOAT);
        ASSERT_EQ(f.Size(), 4u) << text;
        EXPECT_EQ(AsFloat(f), 0.0f) << text;
    }
}

TEST(ACSConvertTest, TextWithoutNulIsReadOnlyToItsSize)
{
    // Exactly two bytes on the heap: reading past them is what the sanitizer
    // build would catch, and a scan past them would read more digits.
    const char digits[] = "4299";
    EXPECT_EQ(AsInt(ACSConvert(ACS_TYPE_STRING, ACSRawData::Copy(digits, 2), ACS_TYPE_INT)), 42);
    EXPECT_EQ(ACSConvert(ACS_TYPE_STRING, ACSRawData::Copy("<kuid:5:100>", 12), ACS_TYPE_KUID).Size(), 8u);
    KUID k = KUID::FromChunk(ACSConvert(ACS_TYPE_STRING, ACSRawData::Copy("<kuid:5:100>", 12), ACS_TYPE_KUID).Data());
    EXPECT_EQ(k, KUID(5, 100, 0));
}

TEST(ACSConvertTest, NumbersToText)
{
    EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_INT, Ints({1, 2}), ACS_TYPE_STRING)), "1,2");
    EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_INT, Ints({-5}), ACS_TYPE_STRING)), "-5");
    EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_FLOAT, Floats({0.5f}), ACS_TYPE_STRING)), "0.5");
    EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_FLOAT, Floats({1.0f, 0.1234567f}), ACS_TYPE_STRING)), "1,0.123457");

    // The text is stored with its NUL, like every string value.
    ACSRawData text = ACSConvert(ACS_TYPE_INT, Ints({12}), ACS_TYPE_STRING);
    ASSERT_EQ(text.Size(), 3u);
    EXPECT_EQ(text.Data()[2], 0);

    // Only whole 4-byte values count.
    const uint8_t six[6] = {1, 0, 0, 0, 2, 0};
    EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_INT, ACSRawData::Copy(six, 6), ACS_TYPE_STRING)), "1");
    EXPECT_FALSE(ACSConvert(ACS_TYPE_INT, ACSRawData::Copy(six, 3), ACS_TYPE_STRING));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_FLOAT, ACSRawData::Copy(six, 3), ACS_TYPE_STRING));
}

TEST(ACSConvertTest, KUIDText)
{
    struct Case {
        KUID kuid;
        const char* text;
    } cases[] = {
        {KUID(5, 100, 0), "<kuid:5:100>"},
        {KUID(5, 100, 3), "<kuid2:5:100:3>"},
        {KUID(-5, 100, 127), "<kuid:-5:100>"},
        {KUID::Null, "<NULL>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AsText(ACSConvert(ACS_TYPE_KUID, Kuid(c.kuid), ACS_TYPE_STRING)), c.text);
        ACSRawData back = ACSConvert(ACS_TYPE_STRING, Text(c.text), ACS_TYPE_KUID);
        ASSERT_EQ(back.Size(), 8u);
        EXPECT_EQ(KUID::FromChunk(back.Data()), c.kuid) << c.text;
    }
}

TEST(ACSConvertTest, KUIDOfWrongSizeHasNoText)
{
    const uint8_t bytes[12] = {5, 0, 0, 0, 100, 0, 0, 0, 1, 2, 3, 4};
    EXPECT_FALSE(ACSConvert(ACS_TYPE_KUID, ACSRawData::Copy(bytes, 4), ACS_TYPE_STRING));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_KUID, ACSRawData::Copy(bytes, 12), ACS_TYPE_STRING));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_KUID, ACSRawData(), ACS_TYPE_STRING));
}

TEST(ACSConvertTest, TwoStepPathsGoThroughText)
{
    EXPECT_EQ(AsInt(ACSConvert(ACS_TYPE_FLOAT, Floats({2.5f}), ACS_TYPE_INT)), 2);
    EXPECT_FLOAT_EQ(AsFloat(ACSConvert(ACS_TYPE_INT, Ints({7}), ACS_TYPE_FLOAT)), 7.0f);
    ACSRawData k = ACSConvert(ACS_TYPE_INT, Ints({12345}), ACS_TYPE_KUID);
    ASSERT_EQ(k.Size(), 8u);
    EXPECT_EQ(KUID::FromChunk(k.Data()), KUID(-1, 12345, 127));
    // A KUID's text is no number.
    EXPECT_FALSE(ACSConvert(ACS_TYPE_KUID, Kuid(KUID(1, 2, 0)), ACS_TYPE_INT));
}

TEST(ACSConvertTest, IdentityNoneAndUnconvertibleTypes)
{
    ACSRawData in = Ints({3});
    ACSRawData same = ACSConvert(ACS_TYPE_INT, in, ACS_TYPE_INT);
    EXPECT_EQ(same.Get(), in.Get());

    EXPECT_FALSE(ACSConvert(ACS_TYPE_NONE, Text("12"), ACS_TYPE_INT));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_NONE, Text("12"), ACS_TYPE_STRING));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_RAW, Text("12"), ACS_TYPE_INT));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_CONTAINER, ACSRawData(), ACS_TYPE_STRING));
    EXPECT_FALSE(ACSConvert(ACS_TYPE_STRING_ALT, Text("12"), ACS_TYPE_INT));

    // The output may be the input's own reference.
    ACSRawData value = Text("12");
    ACSConvert(ACS_TYPE_STRING, value, ACS_TYPE_INT, value);
    ASSERT_EQ(value.Size(), 4u);
    EXPECT_EQ(AsInt(value), 12);
}

TEST(ACSConvertTest, BuiltInConvertersInFixedOrder)
{
    std::vector<std::pair<int, int>> seen;
    for (const ACSConverter* c = ACSConverter::First(); c; c = c->Next())
        seen.emplace_back(c->InputType(), c->OutputType());
    ASSERT_GE(seen.size(), 6u);
    seen.resize(6);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{4, 6}, {4, 3}, {4, 7}, {6, 4}, {3, 4}, {7, 4}}));
}

}  // namespace
