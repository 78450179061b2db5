// The trees the grammar builds, their lines, and how a parse fails.
#include <gtest/gtest.h>

#include <string>

#include "gs/compiler/CompilerTestSupport.h"

using gstest::Parse;
using gstest::Tree;

namespace {

struct TreeCase {
    const char* name;
    std::string text;
    std::string tree;
};

// Wraps statements in a class with one function.
std::string InFunction(const std::string& statements) { return "class A { void f() { " + statements + " } };"; }

std::string FunctionTree(const std::string& body)
{
    return "Class(Name:A, _, Function(Type#0, Name:f, _, Block'8000000(" + body + ")))";
}

}  // namespace

TEST(ParserTest, TreesOfDeclarations)
{
    const TreeCase cases[] = {
        {"empty class body", "class A {};", "Class(Name:A)"},
        {"bases", "class A isclass B, C { };", "Class(Name:A, Name:B; Name:C)"},
        {"specifiers in any order, repeated",
         "public final class A { public static native int f(); final public final void g() {} int a, b = 4; "
         "define int K = 1; };",
         "Class'9(Name:A, _, Prototype'7(Type#2, Name:f); Function'9(Type#0, Name:g, _, Block'8000000); "
         "Vars'4000000(Type#2, Declarator(Name:a); Declarator(Name:b, Const:4)); "
         "Vars'4000080(Type#2, Declarator(Name:K, Const:1)))"},
        {"every specifier", "public native final thread static game secured define class A {};",
         "Class'1df(Name:A)"},
        {"prototypes", "class A { void f(void); Soup g(int a, Foo[] b); };",
         "Class(Name:A, _, Prototype(Type#0, Name:f); Prototype(Type#5(Id:Soup), Name:g, Param(Type#2, Name:a); "
         "Param(Type#11(Id:Foo), Name:b)))"},
        {"array types", "class A { int[] a; Foo[ ] b; };",
         "Class(Name:A, _, Vars'4000000(Type#8, Declarator(Name:a)); Vars'4000000(Type#11(Id:Foo), "
         "Declarator(Name:b)))"},
        {"includes first, lower-cased, without escapes", "include \"A.GS\" include \"sub/B\\n.gs\"\nclass A {};",
         "Include(Name:a.gs); Include(Name:sub/b\\n.gs); Class(Name:A)"},
        {"two classes", "class A {}; class B {};", "Class(Name:A); Class(Name:B)"},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Parse(c.text);
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(Tree(p.Root()), c.tree);
        EXPECT_TRUE(p.messages.empty());
    }
}

TEST(ParserTest, TreesOfStatementsAndExpressions)
{
    const TreeCase cases[] = {
        {"labelled statements chain to what they label",
         "a: x; case 1: y; default: ; on \"M\", \"m\": z; on \"M\", \"m\", msg: { }",
         "Label(Name:a); Id:x'10000000; Case(Const:1); Id:y'10000000; Default; On(Const:\"M\", Const:\"m\"); "
         "Id:z'10000000; On(Const:\"M\", Const:\"m\", Id:msg); Block"},
        {"ranges", "s[,2]; s[1,]; s[1,2]; s[i];",
         "Op[,]'10000000(Id:s, _, Const:2); Op[,]'10000000(Id:s, Const:1); Op[,]'10000000(Id:s, Const:1, "
         "Const:2); Op[]'10000000(Id:s, Id:i)"},
        {"new", "new Foo[3]; new int[n]; new Foo(); new Foo(1, 2); new int(); new string(\"a\");",
         "Opnew'10000000(Type#11(Name:Foo), Const:3); Opnew'10000000(Type#8, Id:n); "
         "Opnew'10000000(Type#5(Name:Foo)); Opnew'10000000(Type#5(Name:Foo), _, Const:1; Const:2); "
         "Opnew'10000000(Type#2); Opnew'10000000(Type#4, _, Const:\"a\")"},
        {"else belongs to the inner if", "if (a) if (b) x; else y;",
         "If(Id:a, If(Id:b, Id:x'10000000, Id:y'10000000))"},
        {"comma lists and for steps", "a, b, c; for (i = 0; i < n; i++, j--) ; for (;;) {}",
         "Id:a'10000000; Id:b'10000000; Id:c'10000000; For(Op='10000000(Id:i, Const:0), "
         "Op<'10000000(Id:i, Id:n), _, Oppost++'10000000(Id:i); Oppost--'10000000(Id:j)); For(_, _, Block)"},
        {"casts and unary operators",
         "(int) x; (int[]) y; cast<Foo> z; cast<Foo[]> w; -a; !b; ~c; +d; ++e; --f; g++; h--;",
         "Opcast'10000000(Id:x, Type#2); Opcast'10000000(Id:y, Type#2); Opcast'10000000(Id:z, Type#5(Id:Foo)); "
         "Opcast'10000000(Id:w, Type#11(Id:Foo)); Opu-'10000000(Id:a); Op!'10000000(Id:b); "
         "Op~'10000000(Id:c); Opu+'10000000(Id:d); Oppre++'10000000(Id:e); Oppre--'10000000(Id:f); "
         "Oppost++'10000000(Id:g); Oppost--'10000000(Id:h)"},
        {"members and the built-in operations", "a.b.c(); o.size(); o.isclass(Foo); o.copy(p); me; null; x = y = z;",
         "Call'10000000(Op.(Op.(Id:a, Member:b), Member:c)); Opsize'10000000(Id:o); "
         "Opisclass'10000000(Id:o, Name:Foo); Opcopy'10000000(Id:o, Id:p); Me'10000000; Null'10000000; "
         "Op='10000000(Id:x, Op=(Id:y, Id:z))"},
        {"precedence",
         "x = 1 + 2 * 3 - 4 / 5 % 6 << 1 >> 2 < 3 > 4 <= 5 >= 6 == 7 != 8 & 9 ^ 10 | 11 and 12 or 13;",
         "Op='10000000(Id:x, Opor(Opand(Op|(Op^(Op&(Op!=(Op==(Op>=(Op<=(Op>(Op<(Op>>(Op<<(Op-(Op+(Const:1, "
         "Op*(Const:2, Const:3)), Op%(Op/(Const:4, Const:5), Const:6)), Const:1), Const:2), Const:3), "
         "Const:4), Const:5), Const:6), Const:7), Const:8), Const:9), Const:10), Const:11), Const:12), "
         "Const:13))"},
        {"jumps, loops, switch and wait",
         "return; return a, b; while (x) { break; continue; goto out; } switch (x) { } wait () { }",
         "Return; Return(Id:a'10000000; Id:b); While(Id:x, Block(Break; Continue; Goto(Name:out))); "
         "Switch(Id:x, Block); Wait(Block)"},
        {"a parenthesised list joins the arguments", "f((a, b), c);",
         "Call'10000000(Id:f, Id:a'10000000; Id:b; Id:c)"},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Parse(InFunction(c.text));
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(Tree(p.Root()), FunctionTree(c.tree));
    }
}

TEST(ParserTest, ConstantValues)
{
    const TreeCase cases[] = {
        {"hex", "0x10; 0x7FFFFFFF;", "Const:16'10000000; Const:2147483647'10000000"},
        {"hex clamps", "0x80000000; 0xFFFFFFFFFFFFFFFFFF;", "Const:2147483647'10000000; Const:2147483647'10000000"},
        {"decimal wraps modulo 2^32", "2147483647; 2147483648; 4294967297; 99999999999999999999;",
         "Const:2147483647'10000000; Const:-2147483648'10000000; Const:1'10000000; Const:1661992959'10000000"},
        {"characters", "'x'; '\\0'; '\\q'; 'ab'; '\\n'; L'y';",
         "Const:120'10000000; Const:0'10000000; Const:113'10000000; Const:97'10000000; Const:10'10000000; "
         "Const:121'10000000"},
        {"a character byte 0xE9 is sign-extended", "'\xE9';", "Const:-23'10000000"},
        {"floats", "1.5; .25f; 3.;", "Const:1.500000'10000000; Const:0.250000'10000000; Const:3.000000'10000000"},
        {"a float too large is infinite", std::string(400, '9') + ".0;", "Const:inf'10000000"},
        {"strings", "\"a\\qb\\0c\"; L\"\\t\"; \"\";", "Const:\"aqb\"'10000000; Const:\"\t\"'10000000; Const:\"\"'10000000"},
        {"booleans", "true; false;", "Const:1'10000000; Const:0'10000000"},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Parse(InFunction(c.text));
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(Tree(p.Root()), FunctionTree(c.tree));
    }
    auto p = Parse(InFunction("\"" + std::string(3000, 's') + "\";"));
    ASSERT_EQ(p.result, 0);
    const GSCompiler::SyntaxNode* text = p.Root()->child[2]->child[3]->child[0];
    EXPECT_EQ(std::string(text->value.text), std::string(2047, 's'));
    EXPECT_EQ(text->detail, GSCompiler::kConstString);
}

TEST(ParserTest, NodeLinesFollowTheScannerAtEachReduction)
{
    const TreeCase cases[] = {
        {"a reduction that waits for the next token takes its line",
         "class A {\n  int f() {\n    x = a\n      + b;\n    return x;\n  }\n};\n",
         "Class@7(Name:A@1, _, Function@6(Type#2@2, Name:f@2, _, Block'8000000@6(Op='10000000@4(Id:x@3, "
         "Op+@4(Id:a@3, Id:b@4)); Return@5(Id:x@5))))"},
        {"an if looks ahead for its else; a unary operator does not",
         "class A {\n  void f() {\n    if (a)\n      x;\n    y;\n    -\n a;\n  }\n};\n",
         "Class@9(Name:A@1, _, Function@8(Type#0@2, Name:f@2, _, Block'8000000@8(If@5(Id:a@3, "
         "Id:x'10000000@4); Id:y'10000000@5; Opu-'10000000@6(Id:a@7))))"},
        {"an if with its else", "class A {\n  void f() {\n    if (a)\n      x;\n    else\n      y;\n    z\n ;\n  }\n} ;\n",
         "Class@10(Name:A@1, _, Function@9(Type#0@2, Name:f@2, _, Block'8000000@9(If@6(Id:a@3, "
         "Id:x'10000000@4, Id:y'10000000@6); Id:z'10000000@7)))"},
        {"one token a line", "class\nA\nisclass\nB\n{\nint\nx\n=\n1\n;\n}\n;\n",
         "Class@12(Name:A@2, Name:B@4, Vars'4000000@10(Type#2@6, Declarator@10(Name:x@7, Const:1@9)))"},
        {"lines through a string and a comment", "class A {\n void f() {\n  \"a\nb\"; /* c\n\n */ x;\n }\n};",
         "Class@8(Name:A@1, _, Function@7(Type#0@2, Name:f@2, _, Block'8000000@7(Const:\"a\nb\"'10000000@4; "
         "Id:x'10000000@6)))"},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Parse(c.text);
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(Tree(p.Root(), true), c.tree);
    }
}

TEST(ParserTest, SyntaxErrorsStopTheFileWithOneMessage)
{
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"empty file", "", "t.gs(1) : parse error, line 1"},
        {"includes only", "include \"a.gs\"\n", "t.gs(2) : parse error, line 2"},
        {"line 12", std::string(11, '\n') + "class A { int f() { x = ; } };", "t.gs(12) : parse error, line 12"},
        {"the first error only", "class A { x x; y y y; };", "t.gs(1) : parse error, line 1"},
        {"an invalid character", "class A { int x; } # ;", "t.gs(1) : parse error, line 1"},
        {"an unterminated string", "class A { void f() { \"abc; } };", "t.gs(1) : parse error, line 1"},
        {"a specifier on a local", "class A { void f() { define int k = 4; } };", "t.gs(1) : parse error, line 1"},
        {"an include after a class", "class A {};\ninclude \"a.gs\"", "t.gs(2) : parse error, line 2"},
        {"a missing semicolon after a class", "class A {}\n", "t.gs(2) : parse error, line 2"},
        {"unterminated comment", "class A {} /* ;", "t.gs(1) : parse error, line 1"},
        // Errors seen at the end of an operand's climb through the
        // expression levels, the wrong token on a later line.
        {"a name after an operand", InFunction("x = a * 2 + b\n\nc;"), "t.gs(3) : parse error, line 3"},
        {"a closing parenthesis too many", InFunction("x = (a\n+ b))\n;"), "t.gs(2) : parse error, line 2"},
        {"a bracket after a comparison", InFunction("if (a < b\n\n\n]) x;"), "t.gs(4) : parse error, line 4"},
        {"an operand missing after and", InFunction("if (a and\n) x;"), "t.gs(2) : parse error, line 2"},
        {"a constant expression cut short", "class A { int x = 1 +\n\n; };", "t.gs(3) : parse error, line 3"},
        {"the end inside an argument list", "class A { void f() { g(a, -b\n", "t.gs(2) : parse error, line 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Parse(c.text);
        EXPECT_EQ(p.result, 1);
        EXPECT_EQ(p.context->ErrorCount(), 1);  // the driver adds the result: 2 in all
        EXPECT_EQ(p.Root(), nullptr);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0], c.message);
    }
}

TEST(ParserTest, TheStackGrowsTo10000EntriesAndThenOverflows)
{
    auto nested = [](int depth) { return InFunction(std::string(depth, '(') + "x" + std::string(depth, ')') + ";"); };
    auto deep = Parse(nested(5000));
    EXPECT_EQ(deep.result, 0);
    EXPECT_TRUE(deep.messages.empty());

    auto overflow = Parse(nested(10000));
    EXPECT_EQ(overflow.result, 2);
    EXPECT_EQ(overflow.context->ErrorCount(), 1);  // 3 in all with the result
    ASSERT_EQ(overflow.messages.size(), 1u);
    EXPECT_EQ(overflow.messages[0], "t.gs(1) : parser stack overflow, line 1");
}

// The stack's limit counts states, whatever shape the nesting has: the
// deepest parse that fits, and one level more.
TEST(ParserTest, NestingRightAtTheStackLimit)
{
    struct Case {
        const char* name;
        std::string open;
        std::string close;
        int fits;
    };
    const Case cases[] = {
        {"parentheses", "(", ")", 9988},
        {"sums of parenthesised sums", "a + (", ")", 3329},
        {"assignments to the right", "a = ", "", 4994},
        {"negations", "- ", "", 9989},
        {"blocks", "{ ", " }", 9988},
    };
    auto nested = [](const Case& c, int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += c.open;
        text += c.open == "{ " ? "x;" : "x";
        for (int i = 0; i < depth; ++i)
            text += c.close;
        return InFunction(text + (c.open == "{ " ? "" : ";"));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fits = Parse(nested(c, c.fits));
        EXPECT_EQ(fits.result, 0);
        EXPECT_TRUE(fits.messages.empty());
        auto over = Parse(nested(c, c.fits + 1));
        EXPECT_EQ(over.result, 2);
        EXPECT_EQ(over.messages, std::vector<std::string>{"t.gs(1) : parser stack overflow, line 1"});
    }
}

TEST(ParserTest, WithoutAScannerTheMessageHasNoLine)
{
    GSCompiler::CompileSession sink;
    GSCompiler::SourceContext context;
    context.Init(nullptr, &sink);
    GSCompiler::SourceContext::SetCurrent(&context);
    EXPECT_EQ(GSCompiler::ParseSource(), 1);
    GSCompiler::SourceContext::SetCurrent(nullptr);
    EXPECT_EQ(gstest::TakeLines(sink), std::vector<std::string>{"parse error"});
}

// A scanner failure used to end the process (exit code 2): it is now an
// error of the file and the parse fails.
TEST(ParserTest, AScannerFailureFailsTheParseAndTheProcessGoesOn)
{
    GSCompiler::CompileSession sink;
    GSCompiler::SourceContext context;
    context.Init(nullptr, &sink);
    context.SetFileName("t.gs");
    GSCompiler::Scanner unreadable(nullptr, 12);
    int result;
    {
        GSCompiler::ParseScope scope(unreadable, context);
        result = GSCompiler::ParseSource();
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(context.ErrorCount(), 1);
    EXPECT_EQ(gstest::TakeLines(sink), std::vector<std::string>{"t.gs(1) : input in scanner failed"});
}

// Names, literals and file names longer than a text page used to get a
// null copy and crash: they get a page of their own.
TEST(ParserTest, LongNamesGetAPageOfTheirOwn)
{
    const std::string name(5000, 'n');
    const std::string file(3000, 'f');
    auto p = Parse("include \"" + file + "\"\nclass " + name + " { int " + name + "; };");
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(Tree(p.Root()), "Include(Name:" + std::string(2047, 'f') + "); Class(Name:" + name +
                                  ", _, Vars'4000000(Type#2, Declarator(Name:" + name + ")))");

    GSCompiler::CompileSession sink;
    GSCompiler::SourceContext context;
    context.Init(nullptr, &sink);
    ASSERT_TRUE(context.SetFileName(std::string(4000, 'd') + ".gs"));
    context.Report(true, false, 3, "%s", "text");
    EXPECT_EQ(gstest::TakeLines(sink), std::vector<std::string>{std::string(4000, 'd') + ".gs(3) : text"});
}

TEST(ParserTest, MessageTextsStopAt255Characters)
{
    GSCompiler::CompileSession sink;
    GSCompiler::SourceContext context;
    context.Init(nullptr, &sink);
    context.SetFileName("t.gs");
    const std::string text(300, 'm');
    context.Message("%s", text.c_str());
    context.Report(false, true, 2, "%s", text.c_str());
    context.ReportInFile("u.gs", true, true, 3, "%s", "x");
    EXPECT_EQ(gstest::TakeLines(sink), (std::vector<std::string>{std::string(255, 'm'),
                                                                 "t.gs(2) : " + std::string(255, 'm'), "u.gs(3) : x"}));
    EXPECT_EQ(context.ErrorCount(), 1);
    EXPECT_EQ(context.WarningCount(), 2);
}

TEST(ParserTest, RunningOutOfMemoryIsAnInternalCompilerError)
{
    auto p = Parse("class A {};", [](GSCompiler::SourceContext& context) { context.Texts().Reset(); });
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.messages, std::vector<std::string>{"Internal Compiler Error."});
    EXPECT_EQ(p.Root(), nullptr);
}
