// What the checker leaves in the tree for the code generator (slots,
// links, inserted returns and casts, constants), its limits, the messages
// no parsed source can reach, and the declarations-only check of includes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gs/compiler/CheckerTestSupport.h"

using namespace GSCompiler;

namespace {

std::string Nested(int depth, const std::string& inside)
{
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "{ ";
    s += inside;
    for (int i = 0; i < depth; ++i)
        s += " }";
    return s;
}

}  // namespace

TEST(CheckerTest, SlotsOfParametersLocalsAndFields)
{
    gstest::Checked c = gstest::CheckSource(
        "class Base { public int b; };\n"
        "class A isclass Base {\n"
        "  int f1, f2;\n"
        "  void f(int p, string q) {\n"
        "    int l1;\n"
        "    { float l2; l2 = p; }\n"
        "    int l3 = f2 + b;\n"
        "    q = q;\n"
        "  }\n"
        "};");
    ASSERT_EQ(c.errors, 0) << testing::PrintToString(c.messages);
    const SyntaxNode* function = gstest::FunctionNamed(c.Root(), "f");
    EXPECT_EQ(function->child[2]->child[1]->index, 1);
    EXPECT_EQ(function->child[2]->next->child[1]->index, 2);
    const SyntaxNode* body = function->child[3]->child[0];
    EXPECT_EQ(body->child[1]->child[0]->index, 3);                  // l1
    EXPECT_EQ(body->next->child[0]->child[1]->child[0]->index, 4);  // l2
    const SyntaxNode* l3 = body->next->next;
    EXPECT_EQ(l3->child[1]->child[0]->index, 5);
    // Own fields follow the base's part; the base's field sits inside it.
    EXPECT_EQ(gstest::Typed(l3->child[1]->child[1]), "+:int(f2:int#6, b:int#4)");
    const SyntaxNode* fields = c.Root()->next->child[2];
    EXPECT_EQ(fields->child[1]->child[0]->index, 5);
    EXPECT_EQ(fields->child[1]->next->child[0]->index, 6);
    const SyntaxNode* assign = l3->next;
    EXPECT_EQ(gstest::Typed(assign), "=:string(q:string#2, q:string#2)");
    EXPECT_TRUE(assign->child[0]->flags & kFlagLocal);
    EXPECT_TRUE(assign->child[0]->flags & kFlagLValue);
    GSSymbol* symbol = c.symbols->FindClass("A")->FindOwnMember("f(int,string)");
    ASSERT_NE(symbol, nullptr);
    auto* f = static_cast<GSFunctionSymbol*>(symbol);
    EXPECT_STREQ(f->signature, "$void@A::f(int,string)");
    EXPECT_EQ(f->argumentSlots, 3);
    EXPECT_EQ(f->localSlots, 3);
}

TEST(CheckerTest, JumpsAndLabelsAreLinkedToTheirStatements)
{
    gstest::Checked c = gstest::CheckSource(
        "class A {\n"
        "  thread void f(int i) {\n"
        "    while (i) { if (i) break; continue; }\n"
        "    switch (i) { case 1: { break; } case 2: default: i = 0; }\n"
        "    wait () { on \"A\", \"B\": continue; on \"C\", \"D\": break; }\n"
        "    for (;;) { switch (i) { case 0: default: continue; } }\n"
        "  }\n"
        "};");
    ASSERT_EQ(c.errors, 0) << testing::PrintToString(c.messages);
    SyntaxNode* loop = gstest::BodyOf(c.Root(), "f");
    SyntaxNode* breakInIf = loop->child[1]->child[0]->child[1];
    EXPECT_EQ(breakInIf->value.statement, loop);
    EXPECT_EQ(loop->child[1]->child[0]->next->value.statement, loop);

    SyntaxNode* sw = loop->next;
    SyntaxNode* case1 = sw->child[1]->child[0];
    EXPECT_EQ(case1->value.statement, sw);
    EXPECT_EQ(case1->next->child[0]->value.statement, sw);  // the break in the block
    SyntaxNode* case2 = case1->next->next;
    SyntaxNode* deflt = case2->next;
    EXPECT_EQ(deflt->kind, kDefault);
    EXPECT_TRUE(sw->flags & kFlagHasDefault);
    // The owner chain runs newest first.
    EXPECT_EQ(sw->ownerLink, deflt);
    EXPECT_EQ(deflt->ownerLink, case2);
    EXPECT_EQ(case2->ownerLink, case1);
    EXPECT_EQ(case1->ownerLink, nullptr);
    EXPECT_EQ(case1->type, kTypeInt);

    SyntaxNode* wait = sw->next;
    SyntaxNode* on1 = wait->child[0]->child[0];
    SyntaxNode* on2 = on1->next->next;
    EXPECT_EQ(on1->value.statement, wait);
    EXPECT_EQ(on1->next->value.statement, wait);
    EXPECT_EQ(on2->next->value.statement, wait);
    EXPECT_EQ(wait->ownerLink, on2);
    EXPECT_EQ(on2->ownerLink, on1);

    SyntaxNode* forLoop = wait->next;
    SyntaxNode* inner = forLoop->child[2]->child[0];
    SyntaxNode* continueInSwitch = inner->child[1]->child[0]->next->next;
    EXPECT_EQ(continueInSwitch->kind, kContinue);
    EXPECT_EQ(continueInSwitch->value.statement, forLoop);
}

TEST(CheckerTest, AVoidFunctionGetsItsFinalReturn)
{
    gstest::Checked c = gstest::CheckSource(
        "class A {\n"
        "  void empty() {\n"
        "  }\n"
        "  void body(int x) { x = 1;\n"
        "  }\n"
        "  void returns() { return; }\n"
        "  int value() { return 1; }\n"
        "};");
    ASSERT_EQ(c.errors, 0);
    const SyntaxNode* empty = gstest::BodyOf(c.Root(), "empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->kind, kReturn);
    EXPECT_EQ(empty->line, 3);
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "body")), "=:int(x:int#1, int 1); return(_)");
    EXPECT_EQ(gstest::BodyOf(c.Root(), "body")->next->line, 5);
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "returns")), "return(_)");
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "value")), "return(int 1)");
}

TEST(CheckerTest, ADerivedObjectReturnedAsItsBaseIsCastToIt)
{
    gstest::Checked c = gstest::CheckSource(
        "class Base { public int b; };\n"
        "class Derived isclass Base { public int d; };\n"
        "class A {\n"
        "  Base up(Derived d) { return d; }\n"
        "  Base same(Base b) { return b; }\n"
        "  Base none() { return null; }\n"
        "  Base last(Derived d, Base b) { return b, d; }\n"
        "};");
    ASSERT_EQ(c.errors, 0) << testing::PrintToString(c.messages);
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "up")), "return(cast:Base(d:Derived#1, <Base>))");
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "same")), "return(b:Base#1)");
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "none")), "return(null)");
    const SyntaxNode* last = gstest::BodyOf(c.Root(), "last");
    EXPECT_EQ(gstest::Typed(last->child[0]), "b:Base#2");
    EXPECT_EQ(gstest::Typed(last->child[0]->next), "cast:Base(d:Derived#1, <Base>)");
}

TEST(CheckerTest, DefineConstantsBecomeTheirValues)
{
    gstest::Checked c = gstest::CheckSource(
        "class Limits {\n"
        "  public define int Four = 4;\n"
        "  public define float Half = 1 / 2.0;\n"
        "  public define float One = 1;\n"
        "  public define int Cut = 2.75;\n"
        "  public define string Name = \"limits\";\n"
        "  public define string Number = 5;\n"
        "  public define bool Yes = Four > 3;\n"
        "};\n"
        "class A {\n"
        "  void f(Limits l) {\n"
        "    Limits.Four + l.Four;\n"
        "    Limits.Half; Limits.One; Limits.Cut; Limits.Name; Limits.Number; Limits.Yes;\n"
        "  }\n"
        "  int g() { return Limits.Four * 2; }\n"
        "};");
    ASSERT_EQ(c.errors, 0) << testing::PrintToString(c.messages);
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "f")),
              "int 8; float 0.5; float 1; int 2; string \"limits\"; string \"\"; bool 1; return(_)");
    EXPECT_EQ(gstest::TypedList(gstest::BodyOf(c.Root(), "g")), "return(int 8)");
}

TEST(CheckerTest, AnIncludeIsCheckedForItsDeclarationsOnly)
{
    gstest::Checked c = gstest::CheckSource(
        "class Lib isclass Later {\n"
        "  public define int K = 2 + 3;\n"
        "  public int f() { return \"not checked\"; undeclared(); }\n"
        "  int g(Missing m);\n"
        "};\n"
        "class Later {};",
        true);
    EXPECT_EQ(c.errors, 0) << testing::PrintToString(c.messages);
    EXPECT_TRUE(c.messages.empty());
    GSClassSymbol* lib = c.symbols->FindClass("Lib");
    ASSERT_NE(lib, nullptr);
    // Its bases wait for the class's first use.
    EXPECT_FALSE(lib->Resolved());
    auto* k = static_cast<GSVariableSymbol*>(lib->FindOwnMember("K"));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->constantType, kConstInt);
    EXPECT_EQ(k->constant.number, 5);
    auto* f = static_cast<GSFunctionSymbol*>(lib->FindOwnMember("f()"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->type, kTypeInt);
    EXPECT_FALSE(f->flags & kSymbolNoBody);
    auto* g = static_cast<GSFunctionSymbol*>(lib->FindOwnMember("g(Missing)"));
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->flags & kSymbolNoBody);
    EXPECT_EQ(g->argumentSlots, 2);
}

TEST(CheckerTest, MembersAreVisibleFromTheirDeclarationOn)
{
    gstest::Checked c = gstest::CheckSource(
        "class A {\n"
        "  void early() { late(); x = 1; }\n"
        "  void proto();\n"
        "  void user() { proto(); }\n"
        "  int x;\n"
        "  void late() {}\n"
        "  void proto() {}\n"
        "};");
    EXPECT_EQ(c.messages, (std::vector<std::string>{"t.gs(2) : function late not declared, line 2.",
                                                    "t.gs(2) : variable x not declared, line 2.",
                                                    "t.gs(2) : cannot cast from int to , line 2."}));
    EXPECT_EQ(c.errors, 3);
}

TEST(CheckerTest, LongChainsAreWalkedAndDeepNestingStops)
{
    auto repeat = [](const std::string& piece, int times) {
        std::string s;
        for (int i = 0; i < times; ++i)
            s += piece;
        return s;
    };
    auto function = [](const std::string& body) {
        return "class A { int I(int v) { return v; } bool f(bool b) { " + body + " } int g() { return 2; } };";
    };
    // A left-deep text or sum is two walk entries a term but nests no
    // deeper than one of two terms.
    const std::string text = function("string s = \"0\"" + repeat(" + \"x\" + I(1)", 5000) + "; return b;");
    const std::string sum = function("int s = I(0)" + repeat(" + I(1)", 9999) + "; return b;");
    const std::string elseIf =
        function("int v = 3; if (v == 0) v = 1;" + repeat(" else if (v == 2) v = 1;", 999) + " return b;");
    const std::string rightSum = function("int s = " + repeat("1 + (", 2000) + "1" + repeat(")", 2000) + "; return b;");
    // "return" lies three levels below the class, its value a level below
    // it, and each "!" a level below the last: 3996 of them reach the
    // deepest level there is, 4000.
    const std::string deepest = function("return " + repeat("!", 3996) + "b;");
    // The walk stops there: g's fault is not reached.
    const std::string deeper =
        "class A { bool f(bool b) { return " + repeat("!", 3997) + "b; } int g() { return \"not reached\"; } };";
    const std::vector<std::string> none;
    const std::vector<std::string> overflow{"Stack overflow; code nested too deep."};
    struct Case {
        const char* what;
        const std::string& source;
        const std::vector<std::string>& messages;
    };
    const Case cases[] = {
        {"a text of 10,001 terms", text, none},
        {"a sum of 10,000 terms", sum, none},
        {"an else-if chain of 1,000 branches", elseIf, none},
        {"a right-nested sum of 2,001 terms", rightSum, none},
        {"the deepest nesting", deepest, none},
        {"a level deeper", deeper, overflow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gstest::Checked checked = gstest::CheckSource(c.source);
        EXPECT_EQ(checked.parse, 0);
        EXPECT_EQ(checked.messages, c.messages);
        EXPECT_EQ(checked.errors, int(c.messages.size()));
    }
}

TEST(CheckerTest, ScopesNestTo63AndADeeperBlockClosesNone)
{
    // The function's scope is level 1, so 62 nested blocks reach level 63.
    gstest::Checked deepest = gstest::CheckSource(
        "class A { void f(int p) { " + Nested(62, "int v = p; { } v = 1;") + " p = 2; } };");
    EXPECT_EQ(deepest.messages, std::vector<std::string>{"t.gs(1) : Blocks nested too deep, line 1."});
    EXPECT_EQ(deepest.errors, 1);

    gstest::Checked fits =
        gstest::CheckSource("class A { void f(int p) { " + Nested(62, "int v = p; v = 1;") + " p = 2; } };");
    EXPECT_TRUE(fits.messages.empty()) << testing::PrintToString(fits.messages);
    EXPECT_EQ(fits.errors, 0);

    // Past the limit, the variables of the scopes around stay usable.
    gstest::Checked deeper = gstest::CheckSource(
        "class A { void f(int p) { " + Nested(61, "int v = p; { int w = v; { int z = w; } w = v; } v = p;") +
        " p = 2; } };");
    EXPECT_EQ(deeper.messages, std::vector<std::string>{"t.gs(1) : Blocks nested too deep, line 1."});
    EXPECT_EQ(deeper.errors, 1);
}

TEST(CheckerTest, MessagesNoParsedSourceReaches)
{
    struct Case {
        const char* name;
        const char* source;
        void (*prepare)(SourceContext&);
        std::vector<std::string> messages;
        int counted;
    };
    const Case cases[] = {
        {"a local with a specifier", "class A { void f() {\n int x;\n } };",
         [](SourceContext& c) { c.Declarations()->child[2]->child[3]->child[0]->flags |= kFlagStatic; },
         {"t.gs(2) : variable declaration has illegal specifiers, line 2."}, 1},
        {"me outside a class", "class A { object o = me; };",
         [](SourceContext& c) { c.SetDeclarations(c.Declarations()->child[2]); },
         {"t.gs(1) : me keyword invalid in static, line 1.", "t.gs(1) : cannot cast from  to object, line 1."}, 2},
        {"a node of no category", "class A { int x; int y = 1; };",
         [](SourceContext& c) { c.Declarations()->child[2]->category = 7; }, {"Internal compiler error."}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gstest::Checked checked = gstest::CheckSource(c.source, false, c.prepare);
        EXPECT_EQ(checked.messages, c.messages);
        EXPECT_EQ(checked.context->ErrorCount(), c.counted);
        // A walk that failed fails the compile, counted or not.
        EXPECT_EQ(checked.errors, c.counted ? c.counted : 1);
    }
}
