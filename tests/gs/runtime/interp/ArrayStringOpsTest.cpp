// The interpreter's array and string instructions (56-86) on hand-assembled
// snippets: values, bounds, clamping, the error exits, and the counts the
// instructions move or release.
#include <gtest/gtest.h>

#include <limits>

#include "gs/runtime/ScriptWorld.h"
#include "gs/runtime/interp/RunState.h"

using namespace GSRuntime;
using namespace gsop;

#define C(body) [](GSProgram & p) { (void)p; return GSAsm() body; }

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Local 3 := the plain array {10, 11, ...} of n elements.
GSAsm& Five(GSAsm& a, int n = 5)
{
    a.Op(PUSH0).Op(NEWARR).Op(POPLO, 3);
    for (int i = 0; i < n; ++i)
        a.Op(LOADO, 3).Int(i).Int(10 + i).Op(APOP);
    return a;
}

CodeMaker WithFive(std::function<void(GSAsm&, GSProgram&)> rest, int n = 5)
{
    return [rest, n](GSProgram& p) {
        GSAsm a;
        Five(a, n);
        rest(a, p);
        return a;
    };
}

// Local 3 := a string constant.
CodeMaker WithText(const char* text, std::function<void(GSAsm&, GSProgram&)> rest)
{
    return [text, rest](GSProgram& p) {
        GSAsm a;
        a.Op(PUSHS, uint16_t(p.Str(text))).Op(POPLO, 3);
        rest(a, p);
        return a;
    };
}

}  // namespace

TEST(ArrayOpsTest, SizesElementsAndBounds)
{
    RunSnippets({
        IntCase("newarr and asize", C(.Int(3).Op(NEWARR).Op(ASIZE).Op(RETV)), 3),
        IntCase("a size below 1 is empty", C(.Int(-5).Op(NEWARR).Op(ASIZE).Op(RETV)), 0),
        ExitCase("a size past the limit", C(.Int(0x1000001).Op(NEWARR).Op(ASIZE).Op(RETV)), ER_ArrayOutOfBounds),
        ArrayCase("apop past the end grows, zero-filled",
                  C(.Op(PUSH0).Op(NEWARR).Op(POPLO, 3).Op(LOADO, 3).Int(10).Int(7).Op(APOP).Op(LOADO, 3).Op(RETO)),
                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}),
        ExitCase("aget past the end", C(.Op(PUSH0).Op(NEWARR).Int(10).Op(AGET).Op(RETV)), ER_ArrayOutOfBounds),
        ExitCase("aget below 0", C(.Int(3).Op(NEWARR).Int(-1).Op(AGET).Op(RETV)), ER_ArrayOutOfBounds),
        ExitCase("apop below 0", C(.Int(3).Op(NEWARR).Int(-1).Op(PUSH1).Op(APOP).Op(PUSH0).Op(RETV)),
                 ER_ArrayOutOfBounds),
        IntCase("aset leaves the value", C(.Int(2).Op(NEWARR).Op(PUSH1).Int(5).Op(ASET).Op(RETV)), 5),
        IntCase("aget", WithFive([](GSAsm& a, GSProgram&) { a.Op(LOADO, 3).Int(3).Op(AGET).Op(RETV); }), 13),
        ExitCase("asize of null", C(.Op(PUSH0).Op(ASIZE).Op(RETV)), ER_NullArrayReference),
        ExitCase("aget of null", C(.Op(PUSH0).Op(PUSH0).Op(AGET).Op(RETV)), ER_NullArrayReference),
        ExitCase("apop into null", C(.Op(PUSH0).Op(PUSH0).Op(PUSH0).Op(APOP).Op(PUSH0).Op(RETV)),
                 ER_NullArrayReference),
        ExitCase("a string is no array", C(.Op(NEWSTR).Op(ASIZE).Op(RETV)), ER_IllegalInstruction),
        ExitCase("ageto of plain elements", C(.Int(2).Op(NEWARR).Op(PUSH0).Op(AGETO).Op(RETV)),
                 ER_IllegalInstruction),
        ExitCase("apop into reference elements",
                 C(.Int(2).Op(NEWARRO).Op(PUSH0).Op(PUSH0).Op(APOP).Op(PUSH0).Op(RETV)), ER_IllegalInstruction),
        TextCase("apopo and ageto",
                 C(.Op(PUSH1).Op(NEWARRO).Op(POPLO, 3).Op(LOADO, 3).Op(PUSH0).Op(PUSHS, p.Str("a")).Op(APOPO)
                       .Op(LOADO, 3).Op(PUSH0).Op(AGETO).Op(RETO)),
                 "a"),
        TextCase("aseto leaves the element and keeps one",
                 C(.Op(PUSH1).Op(NEWARRO).Op(POPLO, 3).Op(LOADO, 3).Op(PUSH1).Op(PUSHS, p.Str("b")).Op(ASETO)
                       .Op(POPO).Op(LOADO, 3).Op(PUSH1).Op(AGETO).Op(RETO)),
                 "b"),
        ArrayCase("acopy is a copy", WithFive([](GSAsm& a, GSProgram&) {
                      a.Op(LOADO, 3).Op(ACOPY).Op(POPLO, 4).Op(LOADO, 3).Op(PUSH0).Int(99).Op(APOP).Op(LOADO, 4).Op(RETO);
                  }, 2),
                  {10, 11}),
        ExitCase("acopy of null", C(.Op(PUSH0).Op(ACOPY).Op(POPO).Op(PUSH0).Op(RETV)), ER_NullArrayReference),
    });
}

TEST(ArrayOpsTest, Ranges)
{
    // Stack for 66-71: array, end, start (then the source).
    const auto range = [](uint8_t op, int32_t end, int32_t start) {
        return WithFive([op, end, start](GSAsm& a, GSProgram&) {
            a.Op(LOADO, 3).Int(end).Int(start).Op(op).Op(RETO);
        });
    };
    // Replaces [start, end) of the five by {20, 21} (or by null).
    const auto replace = [](uint8_t op, int32_t end, int32_t start, bool withSource) {
        return WithFive([op, end, start, withSource](GSAsm& a, GSProgram&) {
            a.Op(LOADO, 3).Int(end).Int(start);
            if (withSource)
                a.Int(2).Op(NEWARR).Op(DUPO).Op(PUSH0).Int(20).Op(APOP).Op(DUPO).Op(PUSH1).Int(21).Op(APOP);
            else
                a.Op(PUSH0);
            a.Op(op);
            if (op == RSET || op == RSETO)
                a.Op(POPO);
            a.Op(LOADO, 3).Op(RETO);
        }, 3);
    };
    RunSnippets({
        ArrayCase("rget with end -1 runs to the end", range(RGET, -1, 2), {12, 13, 14}),
        ArrayCase("rget clamps start and end", range(RGET, 99, -3), {10, 11, 12, 13, 14}),
        ArrayCase("rget of an empty range", range(RGET, 2, 2), {}),
        {"rget with end before start", range(RGET, 1, 2), "int[]", ER_ArrayOutOfBounds},
        ArrayCase("rgeto is rget", range(RGETO, 4, 1), {11, 12, 13}),
        ArrayCase("rpop replaces", replace(RPOP, 2, 1, true), {10, 20, 21, 12}),
        ArrayCase("rpop of null removes", replace(RPOP, 2, 0, false), {12}),
        ArrayCase("rpop past the end pads with zeros", replace(RPOP, 10, 10, true),
                  {10, 11, 12, 0, 0, 0, 0, 0, 0, 0, 20, 21}),
        {"rpop with end -1 before start", replace(RPOP, -1, 10, true), "int[]", ER_ArrayOutOfBounds},
        ArrayCase("rset is rpop keeping the source", replace(RSET, 3, 3, true), {10, 11, 12, 20, 21}),
        ArrayCase("rpopo is rpop", replace(RPOPO, 1, 0, true), {20, 21, 11, 12}),
        ArrayCase("rseto is rset", replace(RSETO, 3, 0, false), {}),
        {"rpop of another element kind",
         C(.Int(2).Op(NEWARR).Op(PUSH1).Op(PUSH0).Int(2).Op(NEWARRO).Op(RPOP).Op(PUSH0).Op(RETO)), "int[]",
         ER_ArrayOutOfBounds},
        {"rget of null", C(.Op(PUSH0).Op(PUSH1).Op(PUSH0).Op(RGET).Op(RETO)), "int[]", ER_NullArrayReference},
    });
}

TEST(StringOpsTest, MakingAndReading)
{
    RunSnippets({
        IntCase("newstr is empty", C(.Op(NEWSTR).Op(SSIZE).Op(RETV)), 0),
        IntCase("pushs", C(.Op(PUSHS, p.Str("hello")).Op(SSIZE).Op(RETV)), 5),
        TextCase("itos", C(.Int(-42).Op(ITOS).Op(RETO)), "-42"),
        TextCase("btos of 1", C(.Op(PUSH1).Op(BTOS).Op(RETO)), "true"),
        TextCase("btos of 2", C(.Int(2).Op(BTOS).Op(RETO)), "true"),
        TextCase("btos of 0", C(.Op(PUSH0).Op(BTOS).Op(RETO)), "false"),
        TextCase("ftos", C(.Float(1.5f).Op(FTOS).Op(RETO)), "1.500000"),
        TextCase("ftos of a large float", C(.Float(1e30f).Op(FTOS).Op(RETO)),
                 "1000000015047466219876688855040.000000"),
        TextCase("scopy", C(.Op(PUSHS, p.Str("ab")).Op(SCOPY).Op(RETO)), "ab"),
        NullCase("scopy of null", C(.Op(PUSH0).Op(SCOPY).Op(RETO))),
        ExitCase("ssize of null", C(.Op(PUSH0).Op(SSIZE).Op(RETV)), ER_NullStringReference),
        IntCase("sgetc", C(.Op(PUSHS, p.Str("hello")).Op(PUSH1).Op(SGETC).Op(RETV)), 'e'),
        IntCase("sgetc sign-extends", C(.Op(PUSHS, p.Str("\xE9")).Op(PUSH0).Op(SGETC).Op(RETV)), -23),
        ExitCase("sgetc past the end", C(.Op(PUSHS, p.Str("hello")).Int(5).Op(SGETC).Op(RETV)),
                 ER_StringOutOfBounds),
        ExitCase("sgetc below 0", C(.Op(PUSHS, p.Str("hello")).Int(-1).Op(SGETC).Op(RETV)), ER_StringOutOfBounds),
        ExitCase("sgetc of null", C(.Op(PUSH0).Op(PUSH0).Op(SGETC).Op(RETV)), ER_NullStringReference),
        TextCase("sgetr with end -1", C(.Op(PUSHS, p.Str("hello")).Int(-1).Op(PUSH1).Op(SGETR).Op(RETO)), "ello"),
        TextCase("sgetr clamps start", C(.Op(PUSHS, p.Str("hello")).Int(2).Int(-5).Op(SGETR).Op(RETO)), "he"),
        {"sgetr with end before start", C(.Op(PUSHS, p.Str("hello")).Op(PUSH1).Int(2).Op(SGETR).Op(RETO)),
         "string", ER_ArrayOutOfBounds},
        ExitCase("an array is no string", C(.Op(PUSH1).Op(NEWARR).Op(SSIZE).Op(RETV)), ER_IllegalInstruction),
    });
}

TEST(StringOpsTest, ChangingInPlace)
{
    const auto setChar = [](const char* text, int32_t i, char c, uint8_t op) {
        return WithText(text, [i, c, op](GSAsm& a, GSProgram&) {
            a.Op(LOADO, 3).Int(i).Int(c).Op(op);
            if (op == SSETC)
                a.Op(POP);
            a.Op(LOADO, 3).Op(RETO);
        });
    };
    const auto replace = [](const char* source, int32_t end, int32_t start, uint8_t op) {
        return WithText("hello", [source, end, start, op](GSAsm& a, GSProgram& p) {
            a.Op(LOADO, 3).Int(end).Int(start);
            if (source)
                a.Op(PUSHS, uint16_t(p.Str(source)));
            else
                a.Op(PUSH0);
            a.Op(op);
            if (op == SSETR)
                a.Op(POPO);
            a.Op(LOADO, 3).Op(RETO);
        });
    };
    RunSnippets({
        TextCase("spopc in place", setChar("ab", 0, 'z', SPOPC), "zb"),
        TextCase("spopc past the end pads with spaces", setChar("ab", 5, 'x', SPOPC), "ab   x"),
        TextCase("ssetc", setChar("ab", 2, 'c', SSETC), "abc"),
        {"spopc below 0", setChar("ab", -1, 'x', SPOPC), "string", ER_StringOutOfBounds},
        IntCase("ssetc leaves the character", C(.Op(PUSHS, p.Str("ab")).Op(PUSH0).Int('q').Op(SSETC).Op(RETV)), 'q'),
        TextCase("spopr", replace("XY", 3, 1, SPOPR), "hXYlo"),
        TextCase("spopr of null removes", replace(nullptr, 3, 1, SPOPR), "hlo"),
        TextCase("spopr with end -1", replace("!", -1, 4, SPOPR), "hell!"),
        TextCase("ssetr", replace("__", 0, 0, SSETR), "__hello"),
        {"spopr with end before start", replace("x", 1, 3, SPOPR), "string", ER_ArrayOutOfBounds},
        {"spopr into null", C(.Op(PUSH0).Op(PUSH0).Op(PUSH0).Op(PUSH0).Op(SPOPR).Op(PUSH0).Op(RETO)), "string",
         ER_NullStringReference},
    });
}

TEST(StringOpsTest, CompareAndJoin)
{
    const auto compare = [](const char* a, const char* b) {
        return [a, b](GSProgram& p) {
            GSAsm code;
            for (const char* s : {a, b}) {
                if (s)
                    code.Op(PUSHS, uint16_t(p.Str(s)));
                else
                    code.Op(PUSH0);
            }
            return code.Op(SCMP).Op(RETV);
        };
    };
    const auto join = [](const char* a, const char* b) {
        return [a, b](GSProgram& p) {
            GSAsm code;
            for (const char* s : {a, b}) {
                if (s)
                    code.Op(PUSHS, uint16_t(p.Str(s)));
                else
                    code.Op(PUSH0);
            }
            return code.Op(SCAT).Op(RETO);
        };
    };
    RunSnippets({
        IntCase("null and empty", compare(nullptr, ""), 0),
        IntCase("empty and null", compare("", nullptr), 0),
        IntCase("null and a letter", compare(nullptr, "a"), -1),
        IntCase("a letter and null", compare("a", nullptr), 1),
        IntCase("a before b", compare("a", "b"), -1),
        IntCase("b after a", compare("b", "a"), 1),
        IntCase("equal texts", compare("ab", "ab"), 0),
        IntCase("a prefix first", compare("ab", "abc"), -1),
        TextCase("scat", join("ab", "cd"), "abcd"),
        TextCase("scat with null first", join(nullptr, "a"), "a"),
        TextCase("scat with null second", join("a", nullptr), "a"),
        TextCase("scat of two nulls is a new empty string", join(nullptr, nullptr), ""),
    });
}

// Op 86 with one null operand gives the other string itself: its count
// moves to the result instead of being released with the operands (which
// freed the string the result still named).
TEST(StringOpsTest, JoiningWithNullKeepsTheStringAlive)
{
    RunSnippets({
        IntCase("the same object", C(.Op(PUSHS, p.Str("a")).Op(POPLO, 3).Op(PUSH0).Op(LOADO, 3).Op(SCAT)
                                         .Op(LOADO, 3).Op(OCMP).Op(RETV)),
                0),
        IntCase("still readable", C(.Op(PUSHS, p.Str("abc")).Op(PUSH0).Op(SCAT).Op(SSIZE).Op(RETV)), 3),
        IntCase("still readable, null first", C(.Op(PUSH0).Op(PUSHS, p.Str("abc")).Op(SCAT).Op(SSIZE).Op(RETV)),
                3),
    });
}

// Index 2147483647 used to become a size of i + 1 = INT_MIN, which emptied
// the buffer before the write landed past it: the index is refused first.
TEST(ArrayOpsTest, TheLargestIndexIsRefusedBeforeGrowing)
{
    RunSnippets({
        ExitCase("apop", C(.Op(PUSH1).Op(NEWARR).Int(kMax).Op(PUSH1).Op(APOP).Op(PUSH0).Op(RETV)),
                 ER_ArrayOutOfBounds),
        ExitCase("aset", C(.Op(PUSH1).Op(NEWARR).Int(kMax).Op(PUSH1).Op(ASET).Op(RETV)), ER_ArrayOutOfBounds),
        ExitCase("apopo", C(.Op(PUSH1).Op(NEWARRO).Int(kMax).Op(PUSH0).Op(APOPO).Op(PUSH0).Op(RETV)),
                 ER_ArrayOutOfBounds),
        ExitCase("aseto", C(.Op(PUSH1).Op(NEWARRO).Int(kMax).Op(PUSH0).Op(ASETO).Op(RETV)), ER_ArrayOutOfBounds),
        ExitCase("spopc", C(.Op(PUSHS, p.Str("a")).Int(kMax).Op(PUSH1).Op(SPOPC).Op(PUSH0).Op(RETV)),
                 ER_StringOutOfBounds),
        ExitCase("ssetc", C(.Op(PUSHS, p.Str("a")).Int(kMax).Op(PUSH1).Op(SSETC).Op(RETV)), ER_StringOutOfBounds),
    });
}

TEST(ArrayOpsTest, LimitsOfSizes)
{
    // A lowered limit, so that a test can reach it.
    LimitsGuard guard;
    RunLimits().maxArrayElements = 8;
    RunLimits().maxStringBytes = 8;
    RunSnippets({
        ExitCase("newarr", C(.Int(9).Op(NEWARR).Op(ASIZE).Op(RETV)), ER_ArrayOutOfBounds),
        IntCase("newarr at the limit", C(.Int(8).Op(NEWARR).Op(ASIZE).Op(RETV)), 8),
        ExitCase("apop", C(.Op(PUSH1).Op(NEWARR).Int(8).Op(PUSH1).Op(APOP).Op(PUSH0).Op(RETV)),
                 ER_ArrayOutOfBounds),
        {"rpop", WithFive([](GSAsm& a, GSProgram&) {
             a.Op(LOADO, 3).Int(5).Int(5).Int(4).Op(NEWARR).Op(RPOP).Op(LOADO, 3).Op(RETO);
         }),
         "int[]", ER_ArrayOutOfBounds},
        ExitCase("scat", C(.Op(PUSHS, p.Str("abcde")).Op(PUSHS, p.Str("fghi")).Op(SCAT).Op(SSIZE).Op(RETV)),
                 ER_StringOutOfBounds),
        ExitCase("spopc", C(.Op(PUSHS, p.Str("a")).Int(8).Op(PUSH1).Op(SPOPC).Op(PUSH0).Op(RETV)),
                 ER_StringOutOfBounds),
        ExitCase("spopr", C(.Op(PUSHS, p.Str("abcde")).Op(PUSH0).Op(PUSH0).Op(PUSHS, p.Str("fghi")).Op(SPOPR)
                                .Op(PUSH0).Op(RETV)),
                 ER_StringOutOfBounds),
    });
}
