// The Str and Math natives through scripts that call them on their static
// classes, and the random generator itself.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <optional>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/natives/MathNatives.h"

using namespace GSRuntime;
using namespace gsop;

namespace {

// Slots in the order the natives are declared below.
enum StrSlot : uint16_t {
    TrimLeft, TrimRight, ToInt, ToFloat, ToUpper, ToLower, Tokens, UnpackInt, UnpackFloat, UnpackString, Find
};
enum MathSlot : uint16_t { RandFloat, RandInt, Sqrt };

GSProgram WithStrMath(const CodeMaker& code, const std::string& returns)
{
    GSProgram p("t.gs", 0x7E57, 0x1, &SystemProgram());
    GSProgram::Class& str = p.AddClass("Str");
    str.flags = GSClass::kFlagStatic;
    p.AddNative(str, "TrimLeft", "void", {"string", "string"});
    p.AddNative(str, "TrimRight", "void", {"string", "string"});
    p.AddNative(str, "ToInt", "int", {"string"});
    p.AddNative(str, "ToFloat", "float", {"string"});
    p.AddNative(str, "ToUpper", "void", {"string"});
    p.AddNative(str, "ToLower", "void", {"string"});
    p.AddNative(str, "Tokens", "string[]", {"string", "string"});
    p.AddNative(str, "UnpackInt", "int", {"string"});
    p.AddNative(str, "UnpackFloat", "float", {"string"});
    p.AddNative(str, "UnpackString", "string", {"string"});
    p.AddNative(str, "Find", "int", {"string", "string", "int"});
    GSProgram::Class& math = p.AddClass("Math");
    math.flags = GSClass::kFlagStatic;
    p.AddNative(math, "Rand", "float", {"float", "float"});
    p.AddNative(math, "Rand", "int", {"int", "int"});
    p.AddNative(math, "Sqrt", "float", {"float"});
    GSProgram::Class& t = p.AddClass("T");
    GSProgram::Method& m = p.AddMethod(t, "Run", returns, {}, code(p));
    m.locals = 4;
    m.objectLocals = {3, 4};
    return p;
}

// A string operand: a constant, or null.
struct Arg {
    Arg(const char* t) : text(t) {}  // NOLINT: null and texts read alike in the tables
    const char* text;
};

GSAsm& Push(GSAsm& a, GSProgram& p, Arg arg)
{
    return arg.text ? a.Op(PUSHS, uint16_t(p.Str(arg.text))) : a.Op(PUSH0);
}

GSAsm& Str(GSAsm& a, GSProgram& p) { return a.Op(STATIC, uint16_t(p.Ref("Str"))); }

// Str.F(text[, set]) on a string kept in local 3, which is returned.
CodeMaker InPlace(StrSlot f, Arg text, std::optional<Arg> set = std::nullopt)
{
    return [=](GSProgram& p) {
        GSAsm a;
        Push(a, p, text).Op(POPLO, 3);
        Str(a, p).Op(LOADO, 3);
        if (set)
            Push(a, p, *set);
        return a.Call(CALLN, set ? -2 : -1, f).Op(LOADO, 3).Op(RETO);
    };
}

// Str.F(text, ...) whose value is returned.
CodeMaker Value(StrSlot f, Arg text)
{
    return [=](GSProgram& p) {
        GSAsm a;
        Str(a, p);
        Push(a, p, text);
        return a.Call(CALLN, -1, f).Op(f == UnpackString ? RETO : RETV);
    };
}

// Unpacks from one string n times: "v1 v2 ... | what is left".
CodeMaker Unpacked(StrSlot f, Arg text, int times)
{
    return [=](GSProgram& p) {
        GSAsm a;
        Push(a, p, text).Op(POPLO, 3).Op(NEWSTR).Op(POPLO, 4);
        for (int i = 0; i < times; ++i) {
            a.Op(LOADO, 4);
            Str(a, p).Op(LOADO, 3).Call(CALLN, -1, f);
            if (f == UnpackInt)
                a.Op(ITOS);
            else if (f == UnpackFloat)
                a.Op(FTOS);
            a.Op(SCAT).Op(PUSHS, uint16_t(p.Str(" "))).Op(SCAT).Op(POPLO, 4);
        }
        return a.Op(LOADO, 4).Op(PUSHS, uint16_t(p.Str("|"))).Op(SCAT).Op(LOADO, 3).Op(SCAT).Op(RETO);
    };
}

// Str.Tokens(text, set) as "count:t0|t1|..." for the first `shown` tokens.
CodeMaker Tokenised(Arg text, Arg set, int shown)
{
    return [=](GSProgram& p) {
        GSAsm a;
        Str(a, p);
        Push(a, p, text);
        Push(a, p, set);
        a.Call(CALLN, -2, Tokens).Op(POPLO, 3).Op(LOADO, 3).Op(ASIZE).Op(ITOS).Op(PUSHS, uint16_t(p.Str(":"))).Op(SCAT);
        for (int i = 0; i < shown; ++i) {
            if (i)
                a.Op(PUSHS, uint16_t(p.Str("|"))).Op(SCAT);
            a.Op(LOADO, 3).Int(i).Op(AGETO).Op(SCAT);
        }
        return a.Op(RETO);
    };
}

CodeMaker Found(Arg text, Arg sought, int32_t start)
{
    return [=](GSProgram& p) {
        GSAsm a;
        Str(a, p);
        Push(a, p, text);
        Push(a, p, sought);
        return a.Int(start).Call(CALLN, -3, Find).Op(RETV);
    };
}

CodeMaker MathCall(MathSlot f, std::vector<uint32_t> words)
{
    return [=](GSProgram& p) {
        GSAsm a;
        a.Op(STATIC, uint16_t(p.Ref("Math")));
        for (uint32_t w : words)
            a.Op(PUSHI).U32(w);
        return a.Call(CALLN, -int16_t(words.size()), f).Op(RETV);
    };
}

uint32_t Bits(float f) { return uint32_t(FloatSlot(f)); }

// The static objects of Str and Math stay in the context.
SnippetCase Kept(SnippetCase c) { return LeavesBehind(std::move(c), 1); }

void RunStrMath(const std::vector<SnippetCase>& cases) { RunSnippets(cases, WithStrMath); }

}  // namespace

TEST(StrMathTest, StrNatives)
{
    RunStrMath({
        Kept(TextCase("TrimLeft with an empty set takes the default one", InPlace(TrimLeft, "\t\t x", ""), "x")),
        Kept(TextCase("TrimLeft with a set of its own", InPlace(TrimLeft, "abcab", "ab"), "cab")),
        Kept(TextCase("TrimLeft of nothing but the set", InPlace(TrimLeft, " \t", nullptr), "")),
        Kept(TextCase("TrimLeft leaves an empty string alone", InPlace(TrimLeft, "", "x"), "")),
        Kept(NullCase("TrimLeft of null", InPlace(TrimLeft, nullptr, "x"))),
        Kept(TextCase("TrimRight with a null set", InPlace(TrimRight, "x y \t\r\n", nullptr), "x y")),
        Kept(TextCase("TrimRight with a set of its own", InPlace(TrimRight, "abcab", "b"), "abca")),
        Kept(IntCase("ToInt: white space, sign, digits", Value(ToInt, "  -42abc"), -42)),
        Kept(IntCase("ToInt without digits", Value(ToInt, "abc"), 0)),
        Kept(IntCase("ToInt of null", Value(ToInt, nullptr), 0)),
        Kept(IntCase("ToInt past the range stops at its end", Value(ToInt, "99999999999"), INT32_MAX)),
        Kept(FloatCase("ToFloat", Value(ToFloat, " 2.5e1x"), 25.0f)),
        Kept(FloatCase("ToFloat of null", Value(ToFloat, nullptr), 0.0f)),
        Kept(FloatCase("ToFloat past a float's range", Value(ToFloat, "1e300"), HUGE_VALF)),
        Kept(TextCase("ToUpper in place", InPlace(ToUpper, "aBc1-z"), "ABC1-Z")),
        Kept(TextCase("ToLower in place", InPlace(ToLower, "aBc1-Z"), "abc1-z")),
        Kept(NullCase("ToUpper of null", InPlace(ToUpper, nullptr))),
        Kept(TextCase("Tokens skip runs of separators", Tokenised("  a,b ,, c ", " ,", 3), "3:a|b|c")),
        Kept(TextCase("Tokens with the default set", Tokenised("one\ttwo\r\nthree", "", 3), "3:one|two|three")),
        Kept(TextCase("Tokens of null: an empty array", Tokenised(nullptr, nullptr, 0), "0:")),
        Kept(TextCase("Tokens of separators alone", Tokenised(" , ", ", ", 0), "0:")),
        Kept(TextCase("UnpackInt three times", Unpacked(UnpackInt, "  12 34", 3), "12 34 0 |")),
        Kept(TextCase("UnpackInt keeps the separator after the token", Unpacked(UnpackInt, "  12 34", 1),
                      "12 | 34")),
        Kept(TextCase("UnpackFloat", Unpacked(UnpackFloat, "1.5\trest", 1), "1.500000 |\trest")),
        Kept(TextCase("UnpackString", Unpacked(UnpackString, " ab cd", 2), "ab cd |")),
        Kept(NullCase("UnpackString of an empty string", Value(UnpackString, ""))),
        Kept(IntCase("UnpackInt of null", Value(UnpackInt, nullptr), 0)),
        Kept(IntCase("Find from the start", Found("hello", "l", 0), 2)),
        Kept(IntCase("Find from a later start", Found("hello", "l", 3), 3)),
        Kept(IntCase("Find past the last", Found("hello", "l", 4), -1)),
        Kept(IntCase("Find with a negative start", Found("hello", "h", -1), -1)),
        Kept(IntCase("Find of nothing at the end", Found("hello", "", 5), 5)),
        Kept(IntCase("Find with a start past the length", Found("hello", "", 6), -1)),
        Kept(IntCase("Find in null", Found(nullptr, "a", 0), -1)),
        Kept(IntCase("Find of null", Found("a", nullptr, 0), -1)),
    });
}

// The generator is seeded from the clock whenever a machine registers its
// natives: each run here sets the state after the world is made. From state
// 1 the first value is 31415822: 24557 after the modulus, which scales to
// 0.374715805; from INT32_MIN it is -85995007, whose size gives 13087 and
// 0.199694812.
TEST(StrMathTest, MathNatives)
{
    const struct {
        const char* what;
        int32_t state;
        CodeMaker code;
        std::string returns;
        GSSlot value;
    } cases[] = {
        {"Rand(5, 5)", 1, MathCall(RandInt, {5, 5}), "int", 5},
        {"Rand(0.0, 1.0)", 1, MathCall(RandFloat, {Bits(0.0f), Bits(1.0f)}), "float", FloatSlot(0.374715805f)},
        {"Rand(2.0, -2.0)", 1, MathCall(RandFloat, {Bits(2.0f), Bits(-2.0f)}), "float", FloatSlot(0.50113678f)},
        {"Rand(10, 20)", 1, MathCall(RandInt, {10, 20}), "int", 13},
        {"Rand over the whole range, b - a in 64 bits", 1,
         MathCall(RandInt, {uint32_t(INT32_MIN), uint32_t(INT32_MAX)}), "int", -538091520},
        {"a value below zero counts by its size", INT32_MIN, MathCall(RandFloat, {Bits(0.0f), Bits(1.0f)}), "float",
         FloatSlot(0.199694812f)},
        {"a value below zero, as an int", INT32_MIN, MathCall(RandInt, {0, 100}), "int", 19},
        {"Sqrt", 1, MathCall(Sqrt, {Bits(2.0f)}), "float", FloatSlot(1.41421354f)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptWorld w;
        GSProgram p = WithStrMath(c.code, c.returns);
        GSObject* t = w.Make(w.Class(w.Load(p), "T"));
        ASSERT_NE(t, nullptr);
        MathRandomState() = c.state;
        const ScriptRun r = w.Run(t, ("$" + c.returns + "@T::Run()").c_str());
        EXPECT_EQ(r.code, ER_Done);
        EXPECT_EQ(r.value, c.value);
    }

    // state := (state * 31415821 + 1) mod 100000000, without overflow, the
    // remainder taking the sign of a state below zero.
    const struct {
        int32_t seed;
        std::vector<int32_t> values;
    } sequences[] = {
        {1, {31415822, 40519863, 62952524, 25482205, 90965306, 70506227}},
        {INT32_MIN, {-85995007, -46805746, -38107465, -99203764}},
    };
    for (const auto& s : sequences) {
        SCOPED_TRACE(s.seed);
        MathRandomState() = s.seed;
        for (int32_t value : s.values) {
            EXPECT_EQ(MathNextRandom(), value);
            EXPECT_EQ(MathRandomState(), value);
        }
    }
    MathRandomState() = 1;
    for (int i = 0; i < 10000; ++i) {
        const int32_t r = MathNextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 100000000);
    }
}
