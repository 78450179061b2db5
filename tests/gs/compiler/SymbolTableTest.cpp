// Symbols and the symbol table: comparison and hashing, scopes, classes
// with their bases, member slots, reference numbering and the dumps.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gs/compiler/CheckerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/symbols/BaseResolver.h"
#include "gs/compiler/symbols/GSSymbolTable.h"
#include "support/TempFolder.h"

using namespace GSCompiler;

namespace {

// A symbol table whose derivation messages go to a sink, as in a compile
// of "t.gs".
struct Table {
    CompileSession sink;
    SourceContext context;
    GSSymbolTable symbols;

    Table()
    {
        context.Init(&symbols, &sink);
        context.SetFileName("t.gs");
        GSDependentSymbol* file = symbols.CreateDependentSymbol("t.gs");
        symbols.Enter(*file);
        symbols.SetCurrentFile(file);
        symbols.SetCurrentContext(&context);
    }

    GSClassSymbol* Class(const char* name, std::vector<const char*> bases = {}, uint32_t flags = 0)
    {
        GSClassSymbol* cls = symbols.CreateClassSymbol(name);
        EXPECT_TRUE(cls && symbols.Enter(*cls));
        cls->flags = flags;
        for (const char* base : bases)
            cls->pending.push_back({symbols.CopyText(base), 7});
        return cls;
    }

    template <typename T>
    T* Member(GSClassSymbol* cls, T* symbol)
    {
        EXPECT_TRUE(symbol && symbols.Enter(*symbol, cls));
        return symbol;
    }
    GSVariableSymbol* Field(GSClassSymbol* cls, const char* name)
    {
        GSVariableSymbol* v = Member(cls, symbols.CreateVariableSymbol(name));
        v->type = kTypeInt;
        return v;
    }
    GSFunctionSymbol* Function(GSClassSymbol* cls, const char* name)
    {
        GSFunctionSymbol* f = Member(cls, symbols.CreateFunctionSymbol(std::string(name) + "()"));
        f->signature = symbols.CopyText(std::string("$void@") + cls->name + "::" + name + "()");
        f->type = kTypeVoid;
        return f;
    }

    bool Resolve(GSClassSymbol* cls) { return BaseResolver(symbols).Resolve(*cls); }
    std::vector<std::string> Messages() { return gstest::TakeLines(sink); }
};

std::string Bases(const GSClassSymbol& cls)
{
    std::string s;
    for (const GSClassSymbol::Base& b : cls.bases)
        s += std::string(b.symbol->name) + "@" + std::to_string(b.fieldOffset) + "/" +
             std::to_string(b.functionOffset) + (b.direct ? " " : "* ");
    return s;
}

}  // namespace

TEST(SymbolTableTest, CompareOrdersByNameThenByLevel)
{
    struct Case {
        const char* a;
        int32_t kindA;
        int32_t levelA;
        const char* b;
        int32_t kindB;
        int32_t levelB;
        int order;
    };
    const Case cases[] = {
        {"Lib.GS", kSymbolDependency, 0, "lib.gs", kSymbolDependency, 0, 0},
        {"A", kSymbolClass, 0, "a", kSymbolClass, 0, -1},
        {"Lib.gs", kSymbolDependency, 0, "lib.gs", kSymbolClass, 0, -1},
        {"a", kSymbolVariable, 0, "b", kSymbolVariable, 0, -1},
        {"b", kSymbolVariable, 0, "a", kSymbolVariable, 0, 1},
        {"x", kSymbolVariable, 2, "x", kSymbolVariable, 1, -1},
        {"x", kSymbolVariable, 1, "x", kSymbolVariable, 2, 1},
        {"x", kSymbolVariable, 3, "x", kSymbolVariable, 3, 0},
        {"x", kSymbolVariable, GSSymbol::kAnyScope, "x", kSymbolVariable, 3, 0},
        {"x", kSymbolVariable, 5, "x", kSymbolVariable, GSSymbol::kAnyScope, 0},
        {"x", kSymbolVariable, 5, "y", kSymbolVariable, GSSymbol::kAnyScope, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " " + c.b);
        GSSymbol a;
        a.name = c.a;
        a.kind = c.kindA;
        a.scopeLevel = c.levelA;
        GSSymbol b;
        b.name = c.b;
        b.kind = c.kindB;
        b.scopeLevel = c.levelB;
        EXPECT_EQ(a.Compare(b), c.order);
    }
}

TEST(SymbolTableTest, HashIsUnsignedOverSignedBytes)
{
    struct Case {
        std::string name;
        uint32_t hash;
    };
    std::string wide;
    for (int i = 0; i < 20; ++i)
        wide += "\x80\xff";
    const Case cases[] = {
        {"", 0}, {"a", 97}, {"ab", 389}, {"Soup", 3703}, {std::string(40, 'z'), 3432664992u},
        {"\xe9", 4294967273u}, {"a\xe9", 268}, {wide, 81820924},
    };
    for (const Case& c : cases) {
        GSSymbol s;
        s.name = c.name.c_str();
        EXPECT_EQ(s.Hash(), c.hash) << c.name.size();
    }
    GSSymbol unnamed;
    EXPECT_EQ(unnamed.Hash(), 0u);

    // Such names are entered and found like any other.
    GSSymbolTable table;
    for (const Case& c : cases) {
        GSClassSymbol* cls = table.CreateClassSymbol(c.name + "!");
        ASSERT_TRUE(cls && table.Enter(*cls));
    }
    for (const Case& c : cases)
        EXPECT_NE(table.FindClass(c.name + "!"), nullptr);
}

TEST(SymbolTableTest, ScopesHideAndDestroyTheirSymbols)
{
    GSSymbolTable table;
    GSClassSymbol* cls = table.CreateClassSymbol("x");
    ASSERT_TRUE(table.Enter(*cls));
    ASSERT_TRUE(table.OpenScope());
    GSVariableSymbol* outer = table.CreateVariableSymbol("x");
    ASSERT_TRUE(table.Enter(*outer));
    ASSERT_TRUE(table.OpenScope());
    GSVariableSymbol* inner = table.CreateVariableSymbol("x");
    ASSERT_TRUE(table.Enter(*inner));
    GSVariableSymbol* clash = table.CreateVariableSymbol("x");
    EXPECT_FALSE(table.Enter(*clash));
    table.Destroy(clash);

    EXPECT_EQ(table.FindGlobal("x"), inner);
    EXPECT_EQ(table.FindGlobal("x", 1), outer);
    EXPECT_EQ(table.FindGlobal("x", 0), cls);
    table.CloseScope();
    EXPECT_EQ(table.FindGlobal("x"), outer);
    table.CloseScope();
    EXPECT_EQ(table.FindGlobal("x"), cls);
    EXPECT_EQ(table.ScopeDepth(), 0);
    table.CloseScope();
    EXPECT_EQ(table.FindGlobal("x"), cls);

    // 63 levels beyond the global scope, and not one more.
    for (int32_t level = 1; level <= GSSymbolTable::kMaxScopeDepth; ++level)
        ASSERT_TRUE(table.OpenScope()) << level;
    EXPECT_FALSE(table.OpenScope());
    EXPECT_EQ(table.ScopeDepth(), 63);
    GSVariableSymbol* deepest = table.CreateVariableSymbol("deepest");
    ASSERT_TRUE(table.Enter(*deepest));
    EXPECT_EQ(deepest->scopeLevel, 63);
    table.Clear();
    EXPECT_EQ(table.ScopeDepth(), 0);
    EXPECT_EQ(table.FindGlobal("x"), nullptr);
    EXPECT_EQ(table.Count(), 0u);
}

TEST(SymbolTableTest, MemberSlotsThroughTwoLevelsOfBases)
{
    Table t;
    GSClassSymbol* base = t.Class("Base");
    GSVariableSymbol* v = t.Field(base, "v");
    GSFunctionSymbol* g = t.Function(base, "g");
    GSClassSymbol* mid = t.Class("Mid", {"Base"});
    GSVariableSymbol* w1 = t.Field(mid, "w1");
    GSVariableSymbol* w2 = t.Field(mid, "w2");
    GSFunctionSymbol* m = t.Function(mid, "m");
    GSClassSymbol* other = t.Class("Other");
    GSVariableSymbol* o = t.Field(other, "o");
    GSFunctionSymbol* oh = t.Function(other, "oh");
    GSClassSymbol* top = t.Class("Top", {"Mid", "Other"});
    GSVariableSymbol* x = t.Field(top, "x");
    GSFunctionSymbol* f = t.Function(top, "f");

    // Resolving the class resolves its bases first.
    ASSERT_TRUE(t.Resolve(top));
    EXPECT_TRUE(mid->Resolved() && top->Resolved());
    EXPECT_EQ(Bases(*mid), "Base@2/0 ");
    EXPECT_EQ(Bases(*top), "Mid@2/0 Base@4/0* Other@9/2 ");
    EXPECT_EQ(mid->fieldOffset, 5);
    EXPECT_EQ(mid->functionOffset, 1);
    EXPECT_EQ(top->fieldOffset, 12);
    EXPECT_EQ(top->functionOffset, 3);

    struct Case {
        const GSSymbol* member;
        const GSClassSymbol* from;
        int32_t slot;
    };
    const Case cases[] = {
        {v, base, 2}, {g, base, 0}, {v, mid, 4},  {w1, mid, 5}, {w2, mid, 6}, {m, mid, 1},  {v, top, 6},
        {g, top, 0},  {w1, top, 7}, {w2, top, 8}, {m, top, 1},  {o, top, 11}, {oh, top, 2}, {x, top, 12},
        {f, top, 3},  {x, mid, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GSSymbolTable::MemberSlot(*c.member, *c.from), c.slot) << c.member->name << " in " << c.from->name;

    GSClassSymbol::Base found{};
    EXPECT_TRUE(GSSymbolTable::FindBase(*top, "Base", &found));
    EXPECT_EQ(found.fieldOffset, 4);
    EXPECT_FALSE(found.direct);
    EXPECT_TRUE(GSSymbolTable::FindBase(*top, "Top", &found));
    EXPECT_EQ(found.fieldOffset, 0);
    EXPECT_FALSE(GSSymbolTable::FindBase(*mid, "Other"));

    // Members are found in the class, then in its bases depth first.
    EXPECT_EQ(top->FindMember("v"), v);
    EXPECT_EQ(top->FindMember("o"), o);
    EXPECT_EQ(mid->FindMember("o"), nullptr);
    GSFunctionSymbol* found2[4] = {};
    EXPECT_EQ(t.symbols.FindFunctions(*top, "g", found2, 4, 0, true), 1);
    EXPECT_EQ(found2[0], g);
    EXPECT_EQ(t.symbols.FindFunctions(*top, "g", found2, 4, 0, false), 0);
    EXPECT_EQ(t.symbols.FindFunctions(*top, "g", found2, 4, 1, true), 0);
    EXPECT_TRUE(t.Messages().empty());
    EXPECT_EQ(t.context.ErrorCount(), 0);
}

TEST(SymbolTableTest, DerivationFaultsAreReportedOnce)
{
    struct Case {
        const char* name;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"self", {"t.gs(7) : Class A and A causes cyclic derivation, line 7."}},
        {"direct", {"t.gs(7) : Class A and A causes cyclic derivation, line 7."}},
        {"through two bases", {"t.gs(7) : Class Right and Base causes cyclic derivation, line 7."}},
        {"missing", {"t.gs(7) : Class Missing has not been declared, line 7."}},
        {"static", {"t.gs(7) : Cannot extend static class S, line 7."}},
        {"final", {"t.gs(7) : Cannot extend final class F, line 7."}},
        {"a variable is no class", {"t.gs(7) : Class v has not been declared, line 7."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        const std::string name = c.name;
        GSClassSymbol* cls = nullptr;
        if (name == "self") {
            cls = t.Class("A", {"A"});
        } else if (name == "direct") {
            cls = t.Class("A", {"B"});
            t.Class("B", {"A"});
        } else if (name == "through two bases") {
            t.Class("Base");
            t.Class("Left", {"Base"});
            t.Class("Right", {"Base"});
            cls = t.Class("Both", {"Left", "Right"});
        } else if (name == "missing") {
            cls = t.Class("A", {"Missing"});
        } else if (name == "static") {
            t.Class("S", {}, kFlagStatic);
            cls = t.Class("A", {"S"});
        } else if (name == "final") {
            t.Class("F", {}, kFlagFinal);
            cls = t.Class("A", {"F"});
        } else {
            cls = t.Class("A", {"v"});
            t.Field(cls, "v");
        }
        EXPECT_FALSE(t.Resolve(cls));
        EXPECT_FALSE(t.Resolve(cls));
        EXPECT_EQ(t.Messages(), c.messages);
        EXPECT_EQ(t.context.ErrorCount(), 1);
        EXPECT_TRUE(cls->Resolved());
        EXPECT_FALSE(cls->resolving);
    }
}

TEST(SymbolTableTest, BaseListsAreBounded)
{
    Table t;
    std::vector<GSClassSymbol*> chain{t.Class("C0")};
    for (int i = 1; i <= BaseResolver::kMaxBases + 1; ++i) {
        const std::string name = "C" + std::to_string(i);
        const std::string base = "C" + std::to_string(i - 1);
        chain.push_back(t.Class(t.symbols.CopyText(name), {base.c_str()}));
    }
    // Resolved from the far end, without recursing down the chain.
    EXPECT_FALSE(t.Resolve(chain.back()));
    EXPECT_EQ(t.Messages(), std::vector<std::string>{"t.gs(7) : Class C257 has too many base classes, line 7."});
    EXPECT_EQ(chain[BaseResolver::kMaxBases]->bases.size(), size_t(BaseResolver::kMaxBases));
}

TEST(SymbolTableTest, ReferencesAreNumberedOnFirstLookupAndReset)
{
    Table t;
    GSClassSymbol* a = t.Class("A");
    GSClassSymbol* b = t.Class("B");
    GSFunctionSymbol* bf = t.Function(b, "f");
    GSFunctionSymbol* ag = t.Function(a, "g");

    EXPECT_EQ(t.symbols.FindOrAdd("f()", b), bf);
    EXPECT_EQ(bf->referenceIndex, 0);
    EXPECT_EQ(b->referenceIndex, 0);
    EXPECT_EQ(t.symbols.FindClass("A"), a);
    EXPECT_EQ(a->referenceIndex, 1);
    EXPECT_EQ(t.symbols.FindOrAdd("g()", a), ag);
    EXPECT_EQ(ag->referenceIndex, 1);
    EXPECT_EQ(t.symbols.FindOrAdd("B", a), b);
    EXPECT_EQ(b->referenceIndex, 0);
    EXPECT_EQ(t.symbols.ClassReferenceCount(), 2);
    EXPECT_EQ(t.symbols.FunctionReferenceCount(), 2);
    // A plain look-up numbers nothing.
    EXPECT_EQ(t.symbols.FindGlobal("A"), a);

    t.symbols.ResetReferences();
    for (const GSSymbol* s : std::initializer_list<const GSSymbol*>{a, b, bf, ag})
        EXPECT_EQ(s->referenceIndex, -1) << s->name;
    EXPECT_EQ(t.symbols.FindOrAdd("g()", a), ag);
    EXPECT_EQ(ag->referenceIndex, 0);
    EXPECT_EQ(a->referenceIndex, 0);

    // A new base's functions are numbered with it.
    t.symbols.ResetReferences();
    GSClassSymbol* c = t.Class("C", {"B"});
    ASSERT_TRUE(t.Resolve(c));
    EXPECT_EQ(b->referenceIndex, 0);
    EXPECT_EQ(bf->referenceIndex, 0);
    EXPECT_EQ(a->referenceIndex, -1);
}

TEST(SymbolTableTest, NumberingStartsAgainForTheCompiledFile)
{
    TempFolder dir;
    dir.Write("lib.gs", "class Lib { public void f() {} };\nclass Unused { Lib lib; };");
    dir.Write("main.gs", "include \"lib.gs\"\nclass Main { void g(Lib l) { l.f(); } };");
    IncludePathList::Global().Clear();
    IncludePathList::Global().Append(Nyx::File::Path(dir.Path()));
    CompileSession sink;
    CompilerState state;
    EXPECT_EQ(CompileProgram("main.gs", state, &sink), 0);
    IncludePathList::Global().Clear();
    EXPECT_TRUE(gstest::TakeLines(sink).empty());

    GSSymbolTable& symbols = state.Symbols();
    GSClassSymbol* lib = symbols.FindClass("Lib");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->referenceIndex, 0);
    EXPECT_EQ(symbols.FindGlobal("Unused")->referenceIndex, -1);
    EXPECT_EQ(lib->FindOwnMember("f()")->referenceIndex, 0);
    EXPECT_EQ(symbols.FunctionReferenceCount(), 1);
    EXPECT_EQ(symbols.FindDependency("lib.gs")->index, 1);
    EXPECT_EQ(symbols.FindDependency("main.gs")->index, 0);
}

TEST(SymbolTableTest, DumpTexts)
{
    Table t;
    t.symbols.CurrentFile()->sourceCrc = 0x1234ABCD;
    t.symbols.CurrentFile()->fileNameCrc = 0xFF;
    GSClassSymbol* base = t.Class("Base");
    GSClassSymbol* soup = t.Class("Soup", {"Base"}, kFlagFinal | kFlagSecured);
    ASSERT_TRUE(t.Resolve(soup));
    GSVariableSymbol* count = t.Field(soup, "count");
    count->flags = kFlagPublic | kFlagDefine;
    GSVariableSymbol* next = t.Field(soup, "next");
    next->type = kTypeObject;
    next->className = "Soup";
    GSFunctionSymbol* find = t.Member(soup, t.symbols.CreateFunctionSymbol("Find(string,Soup)"));
    find->type = kTypeObjectArray;
    find->returnClass = "Soup";
    find->flags = kFlagPublic | kFlagNative | kFlagThread | kFlagConstructor | kFlagGame;
    (void)base;
    EXPECT_EQ(t.symbols.Describe(),
              "Symbol Table\n"
              "\nDependent \"t.gs\", crc 0x1234ABCD, filename crc 0xFF\n\n"
              "========================================\n"
              "0:Base  (t.gs)::\n"
              "========================================\n"
              "========================================\n"
              "0:Soup final secured  (t.gs)::2:Base,\n"
              "========================================\n"
              "0:0:int count public define \n"
              "1:0:object<Soup> next \n"
              "0:0:object[]<Soup> Find(string,Soup) public native thread constructor game ");
    next->Dump(t.sink);
    EXPECT_EQ(t.Messages(), std::vector<std::string>{"1:0:object<Soup> next "});
}
