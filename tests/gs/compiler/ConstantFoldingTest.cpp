// Constant folding, over every operator that folds and the cases left to
// run time.
#include <gtest/gtest.h>

#include <string>

#include "gs/compiler/CheckerTestSupport.h"

TEST(ConstantFoldingTest, EveryOperatorOverConstants)
{
    struct Case {
        const char* expression;
        const char* folded;
    };
    const Case cases[] = {
        // Unary operators.
        {"+5", "int 5"},
        {"+2.5", "float 2.5"},
        {"-5", "int -5"},
        {"-2.5", "float -2.5"},
        {"-(-2147483647 - 1)", "int -2147483648"},
        {"~5", "int -6"},
        {"!0", "bool 1"},
        {"!3", "bool 0"},
        {"!true", "bool 0"},
        {"!0.0", "bool 1"},
        {"!-0.0", "bool 1"},
        {"!0.5", "bool 0"},
        {"!\"\"", "bool 0"},
        // Int arithmetic wraps; division truncates toward zero.
        {"6 * 7", "int 42"},
        {"65536 * 65536", "int 0"},
        {"2147483647 + 1", "int -2147483648"},
        {"7 - 10", "int -3"},
        {"7 / 2", "int 3"},
        {"-7 / 2", "int -3"},
        {"-7 % 3", "int -1"},
        {"'a' + 1", "int 98"},
        // A float operand makes float arithmetic; "%" is the remainder of the
        // two values taken as doubles.
        {"1 + 2.5", "float 3.5"},
        {"5 / 2.0", "float 2.5"},
        {"7.5 % 2", "float 1.5"},
        {"-7.5 % 2", "float -1.5"},
        {"0.1 * 3", "float 0.3"},
        // Shifts count modulo 32; a folded ">>" copies the sign.
        {"1 << 33", "int 2"},
        {"1 << 31", "int -2147483648"},
        {"-8 >> 1", "int -4"},
        {"1 >> 32", "int 1"},
        {"6 & 3", "int 2"},
        {"6 ^ 3", "int 5"},
        {"6 | 3", "int 7"},
        // Comparisons: int with int as signed integers, anything else as
        // floats.
        {"1 < 2", "bool 1"},
        {"2 <= 1", "bool 0"},
        {"-1 > 0", "bool 0"},
        {"2 >= 2", "bool 1"},
        {"1 == 1.0", "bool 1"},
        {"1 != 2", "bool 1"},
        {"true == 1", "bool 1"},
        {"16777217 == 16777216.0", "bool 1"},
        // "and" and "or" test the value words.
        {"1 and 0", "bool 0"},
        {"1 or 0", "bool 1"},
        {"0.5 and true", "bool 1"},
        {"\"\" and 1", "bool 1"},
        // Nested operators fold from the inside out.
        {"(1 + 2) * (3 + 4) - 1", "int 20"},
        // Left to run time: strings, and the divisions that have no value.
        {"5 + \"a\"", "+:string(int 5, string \"a\")"},
        {"\"a\" == 5", "==:bool(string \"a\", int 5)"},
        {"\"a\" < \"b\"", "<:bool(string \"a\", string \"b\")"},
        {"1 / 0", "/:int(int 1, int 0)"},
        {"1 % 0", "%:int(int 1, int 0)"},
        {"(-2147483647 - 1) / -1", "/:int(int -2147483648, int -1)"},
        {"(-2147483647 - 1) % -1", "%:int(int -2147483648, int -1)"},
        {"1.0 / 0.0", "/:float(float 1, float 0)"},
        {"1.0 / -0.0", "/:float(float 1, float -0)"},
        {"1 % 0.0", "%:float(int 1, float 0)"},
        {"2.5 % -0.0", "%:float(float 2.5, float -0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        gstest::Checked checked = gstest::CheckSource(std::string("class A { void f() { ") + c.expression + "; } };");
        ASSERT_EQ(checked.errors, 0) << testing::PrintToString(checked.messages);
        EXPECT_EQ(gstest::Typed(gstest::BodyOf(checked.Root(), "f")), c.folded);
    }
}

TEST(ConstantFoldingTest, OperandsThatAreNotConstantsAreNotFolded)
{
    gstest::Checked checked = gstest::CheckSource("class A { int k; void f(int x) { x + 1; k * 2; -x; } };");
    ASSERT_EQ(checked.errors, 0);
    const GSCompiler::SyntaxNode* body = gstest::BodyOf(checked.Root(), "f");
    EXPECT_EQ(gstest::Typed(body), "+:int(x:int#1, int 1)");
    EXPECT_EQ(gstest::Typed(body->next), "*:int(k:int#2, int 2)");
    EXPECT_EQ(gstest::Typed(body->next->next), "u-:int(x:int#1)");
}
