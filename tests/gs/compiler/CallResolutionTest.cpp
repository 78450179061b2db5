// Call resolution: overloads, ambiguity, calls through objects and bases,
// visibility, "inherited", and the casts put on arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gs/compiler/CheckerTestSupport.h"

TEST(CallResolutionTest, CallsResolveToTheirFunctions)
{
    struct Case {
        const char* name;
        const char* source;
        const char* function;
        const char* calls;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"overloads by conversion count",
         "class A {\n"
         "  void f(int x) {}\n"
         "  void f(float x) {}\n"
         "  void f(string s) {}\n"
         "  void t() { f(1); f(1.5); f(true); f(\"s\"); }\n"
         "};",
         "t",
         "call:void#0(f:; int 1); call:void#1(f:; float 1.5); call:void#0(f:; cast:int(bool 1, <int>)); "
         "call:void#2(f:; string \"s\"); return(_)",
         {}},
        {"two bases that both match: the first is called",
         "class Left { public void f(int x) {} };\n"
         "class Right { public void f(int x) {} };\n"
         "class A isclass Left, Right { void t() { f(1); } };",
         "t", "call:void#0(f:; int 1); return(_)", {"t.gs(3) : function call f is ambiguous, line 3."}},
        {"through an object",
         "class B { public int g(int x) { return x; } public int h() { return 0; } };\n"
         "class A { void t(B b) { b.h(); b.g(2); } };",
         "t", "call:int#1(.:B(b:B#1, h:)); call:int#0(.:B(b:B#1, g:); int 2); return(_)", {}},
        {"through two levels of bases, plain and through an object",
         "class Base { public int v; public void g() {} };\n"
         "class Mid isclass Base { public int w; public void m() {} };\n"
         "class A isclass Mid { void t(A a) { g(); m(); a.g(); v = w; } };",
         "t", "call:void#0(g:); call:void#1(m:); call:void#0(.:A(a:A#1, g:)); =:int(v:int#6, w:int#7); return(_)",
         {}},
        {"not public through an object of another class",
         "class B { void hidden() {} };\n"
         "class A { void own() {} void t(B b, A a) { b.hidden(); a.own(); } };",
         "t", "call:void#0(.:B(b:B#1, hidden:)); call:void#0(.:A(a:A#2, own:)); return(_)",
         {"t.gs(2) : function hidden not public in object B, line 2."}},
        {"not declared",
         "class B { public void g(int x) {} };\n"
         "class A { void t(B b) { b.g(); b.g(\"s\"); nothing(); } };",
         "t", "call:(.:B(b:B#1, g:)); call:(.:B(b:B#1, g:); string \"s\"); call:(nothing:); return(_)",
         {"t.gs(2) : function g not declared in class B or derivative, line 2.",
          "t.gs(2) : function g not declared in class B or derivative, line 2.",
          "t.gs(2) : function nothing not declared, line 2."}},
        {"inherited calls the function being defined",
         "class Base { public void f(int x) {} };\n"
         "class A isclass Base { void f(int x) { inherited(x); inherited(2.5); } };",
         "f", "call:void#1(inherited:; x:int#1); call:void#1(inherited:; cast:int(float 2.5, <int>)); return(_)",
         {}},
        {"inherited through an object",
         "class A { void g(A a) { a.inherited(); } };", "g", "call:(.:A(a:A#1, inherited:)); return(_)",
         {"t.gs(1) : 'inherited' can only be used on current function, line 1."}},
        {"inherited outside a function",
         "class A {\n  int v = inherited();\n  void f() {}\n};", "f", "return(_)",
         {"t.gs(2) : internal compiler error while parsing 'inherited', line 2.",
          "t.gs(2) : cannot cast from  to int, line 2."}},
        {"inherited in a thread function",
         "class A { thread void h() { inherited(); } };", "h", "call:(inherited:); return(_)",
         {"t.gs(1) : 'inherited' can not be used on native or thread function, line 1."}},
        {"inherited with an argument its parameter does not take",
         "class A { void f(int x) { inherited(\"s\"); inherited(); } };", "f",
         "call:void#0(inherited:; string \"s\"); call:void#0(inherited:); return(_)",
         {"t.gs(1) : Error in expression, line 1.", "t.gs(1) : Error in expression, line 1."}},
        {"arguments whose class differs are cast to the parameter's",
         "class Base {};\n"
         "class Derived isclass Base {};\n"
         "class A { void take(Base b, float x) {} void t(Derived d, Base b) { take(d, 1); take(null, 2.0); take(b, "
         "0.5); } };",
         "t",
         "call:void#0(take:; cast:Base(d:Derived#1, <Base>); cast:float(int 1, <float>)); "
         "call:void#0(take:; cast:Base(null, <Base>); float 2); call:void#0(take:; b:Base#2; float 0.5); return(_)",
         {}},
        {"a base argument for a derived parameter is cast down",
         "class Base {};\n"
         "class Derived isclass Base {};\n"
         "class Other {};\n"
         "class A { void take(Derived d) {} void t(Base b, Other o) { take(b); take(o); } };",
         "t", "call:void#0(take:; cast:Derived(b:Base#1, <Derived>)); call:(take:; o:Other#2); return(_)",
         {"t.gs(4) : function take not declared, line 4."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gstest::Checked checked = gstest::CheckSource(c.source);
        ASSERT_EQ(checked.parse, 0);
        EXPECT_EQ(checked.messages, c.messages);
        EXPECT_EQ(checked.errors, int(c.messages.size()));
        EXPECT_EQ(gstest::TypedList(gstest::BodyOf(checked.Root(), c.function)), c.calls);
    }
}

TEST(CallResolutionTest, ACallToAFunctionOfAFinalOrStaticClassIsMarkedFinal)
{
    using namespace GSCompiler;
    gstest::Checked checked = gstest::CheckSource(
        "final class F { public void f() {} };\n"
        "static class S { public void s() {} };\n"
        "class O { public void o() {} };\n"
        "class A { void t(F f, O o) { f.f(); S.s(); o.o(); } };");
    ASSERT_EQ(checked.errors, 0) << testing::PrintToString(checked.messages);
    const SyntaxNode* call = gstest::BodyOf(checked.Root(), "t");
    EXPECT_TRUE(call->flags & kFlagFinal);
    EXPECT_TRUE(call->flags & kFlagThroughObject);
    EXPECT_TRUE(call->next->flags & kFlagFinal);
    EXPECT_FALSE(call->next->next->flags & kFlagFinal);
    EXPECT_TRUE(call->next->next->flags & kFlagPublic);
}

TEST(CallResolutionTest, AClassNameOf300CharactersInACall)
{
    const std::string name(300, 'K');
    const std::string source = "class " + name + " { public void f(" + name + "[] a, " + name + " b) {} };\n"
                               "class A { void t(" + name + " k, " + name + "[] ks) { k.f(ks, k); k.f(k, ks); } };";
    gstest::Checked checked = gstest::CheckSource(source);
    ASSERT_EQ(checked.parse, 0);
    ASSERT_EQ(checked.messages.size(), 1u);
    // The message is cut at 255 characters of text.
    const std::string prefix = "t.gs(2) : function f not declared in class " + name.substr(0, 222);
    EXPECT_EQ(checked.messages[0], prefix);
    EXPECT_EQ(checked.errors, 1);
    const GSCompiler::SyntaxNode* call = gstest::BodyOf(checked.Root(), "t");
    EXPECT_EQ(call->type, GSCompiler::kTypeVoid);
    EXPECT_EQ(call->index, 0);
}
