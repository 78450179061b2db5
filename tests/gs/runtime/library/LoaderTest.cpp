// Reading and linking library images: sections, records, link steps and
// their messages.
#include <gtest/gtest.h>

#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/RuntimeTestSupport.h"

using GSRuntime::GSClass;
using GSRuntime::GSFunction;
using GSRuntime::GSLibrary;

namespace {

const LibraryId kId{0x1234ABCD, 0x5678};
const LibraryId kBaseId{0x51, 0x52};

struct Loaded {
    GSLibrary* library = nullptr;
    int result = 1;
    std::vector<std::string> log;
};

Loaded Load(TestMachine& t, const TempFolder& dir, GSLibraryBuilder& b, const std::string& file = "x.gsl")
{
    LogCapture capture;
    LibraryId id = AddImage(t.machine, dir, file, b.Build());
    Loaded out;
    out.library = t.machine.LoadLibrary(id, &out.result);
    out.log = capture.Take();
    return out;
}

GSLibraryBuilder Basic() { GSLibraryBuilder b("x.gs", kId.low, kId.high); b.AddClass("X", {"$int@X::Count()"}); return b; }

}  // namespace

TEST(LoaderTest, SectionsOnlyInTheirOrder)
{
    const std::vector<std::vector<uint32_t>> orders = {{3, 2, 4, 5, 6}, {2, 3, 5, 4, 6}, {2, 3, 4, 6, 5},
                                                       {2, 3, 4, 5}, {2, 2, 3, 4, 5, 6}};
    for (const auto& order : orders) {
        TestMachine t;
        TempFolder dir;
        GSLibraryBuilder b = Basic();
        b.sectionOrder = order;
        Loaded l = Load(t, dir, b);
        EXPECT_EQ(l.library, nullptr);
        EXPECT_EQ(l.result, GSMachine::kMalformed);
        EXPECT_EQ(l.log, (std::vector<std::string>{"GSMachine: Error loading library x.gsl"}));
    }
}

TEST(LoaderTest, WhatAWellFormedImageGives)
{
    TestMachine t;
    TempFolder dir;
    GSLibraryBuilder b = Basic();
    b.name = "scripts/x.gs";
    GSLibraryBuilder::Function& count = b.classes[0].functions[0];
    count.signature = "$int@X::Count(string,int)";
    b.functionRefs[0].name = b.Str(count.signature);
    count.parameters = 3;
    count.locals = 2;
    count.objectLocals = {1, 3};
    count.code = CodeBytes().Op(31).U16(4).Op(110);
    count.lines = {{0, 10}, {3, 12}};
    b.classes[0].functions[1].lineBlock = false;
    b.classes[0].functions[1].code = {};
    b.classes[0].objectFields = {2};
    Loaded l = Load(t, dir, b);
    ASSERT_NE(l.library, nullptr) << l.result;
    EXPECT_TRUE(l.log.empty());
    GSLibrary& lib = *l.library;
    EXPECT_EQ(lib.name, "scripts/x.gs");
    EXPECT_FLOAT_EQ(lib.version, 1.02f);
    EXPECT_EQ(lib.idLow, kId.low);
    EXPECT_EQ(lib.idHigh, kId.high);
    EXPECT_EQ(lib.strings.size(), lib.stringCopies.size());
    EXPECT_EQ(lib.stringCopies[0], "X");
    ASSERT_EQ(lib.classCount, 1u);
    GSClass& x = lib.classes[0];
    EXPECT_STREQ(x.name, "X");
    EXPECT_EQ(x.library, &lib);
    ASSERT_EQ(x.functionCount, 2u);
    GSFunction& f = x.functions[0];
    EXPECT_STREQ(f.name, "$int@X::Count(string,int)");
    EXPECT_EQ(f.parameterCount, 3u);
    EXPECT_EQ(f.localsBase, -2);
    EXPECT_EQ(f.frameGrowth, 6);
    EXPECT_EQ(f.frameRecord, 3);
    EXPECT_EQ(f.objectLocalCount, 2u);
    EXPECT_EQ(f.ObjectLocal(1), 3u);
    EXPECT_EQ(f.codeSize, 4u);
    EXPECT_EQ(f.GetLine(0), 10);
    EXPECT_EQ(f.GetLine(2), 10);
    EXPECT_EQ(f.GetLine(3), 12);
    EXPECT_EQ(f.GetLine(100), 12);
    // The initialiser: no code, no line table.
    EXPECT_EQ(x.functions[1].code, nullptr);
    EXPECT_EQ(x.functions[1].GetLine(0), -1);
    ASSERT_EQ(x.methodCount, 1u);
    EXPECT_EQ(x.methods[0].reference, &lib.functionRefs[0]);
    EXPECT_EQ(lib.functionRefs[0].function, &f);
    EXPECT_EQ(lib.classRefs[0].cls, &x);
}

TEST(LoaderTest, GetLineBeforeTheFirstEntryGivesTheFirstLine)
{
    GSFunction f;
    const uint8_t lines[] = {4, 0, 0, 0, 7, 0, 0, 0, 9, 0, 0, 0, 8, 0, 0, 0};
    f.lines = lines;
    f.lineCount = 2;
    EXPECT_EQ(f.GetLine(0), 7);
    EXPECT_EQ(f.GetLine(8), 7);
    EXPECT_EQ(f.GetLine(9), 8);
}

TEST(LoaderTest, ALibraryWithoutFunctionReferencesLinks)
{
    TestMachine t;
    TempFolder dir;
    GSLibraryBuilder b("x.gs", kId.low, kId.high);
    b.AddClass("Plain");
    Loaded l = Load(t, dir, b);
    ASSERT_NE(l.library, nullptr);
    EXPECT_TRUE(l.library->functionRefs.empty());
}

TEST(LoaderTest, FindClassSearchesFromTheLast)
{
    TestMachine t;
    TempFolder dir;
    GSLibraryBuilder b("x.gs", kId.low, kId.high);
    b.AddClass("Twice");
    b.AddClass("Other");
    b.AddClass("Twice");
    Loaded l = Load(t, dir, b);
    ASSERT_NE(l.library, nullptr);
    EXPECT_EQ(l.library->FindClass("Twice"), &l.library->classes[2]);
    EXPECT_EQ(l.library->FindClass("twice"), nullptr);
}

TEST(LoaderTest, LinkErrors)
{
    struct Case {
        const char* what;
        void (*corrupt)(GSLibraryBuilder&);
        int result;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"two missing classes",
         [](GSLibraryBuilder& b) {
             b.AddClassRef(0, "Gone");
             b.AddClassRef(0, "Lost");
         },
         GSMachine::kLinkFailed,
         {"GS Link error: Unable to find class 'Gone'", "GS Link error: Unable to find class 'Lost'"}},
        {"a missing function",
         [](GSLibraryBuilder& b) { b.AddFunctionRef(0, "$void@X::Gone()", -1); },
         GSMachine::kLinkFailed,
         {"GS Link error: Unable to link function '$void@X::Gone()'"}},
        {"a class that does not load",
         [](GSLibraryBuilder& b) { b.classes[0].functions[0].code = {200}; },
         GSMachine::kMalformed,
         {"GS Link error: Unable to initialise class 'X'"}},
        {"a base whose part is too small for it",
         [](GSLibraryBuilder& b) {
             size_t base = b.AddClass("Base");
             b.classes[base].fieldCount = 6;
             b.classes[0].bases.push_back({uint32_t(b.classRefs.size() - 1), 2});
             b.classes[0].fieldCount = 6;
         },
         GSMachine::kLinkFailed,
         {"GS Link error: Unable to link 'X'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestMachine t;
        TempFolder dir;
        GSLibraryBuilder b = Basic();
        c.corrupt(b);
        Loaded l = Load(t, dir, b);
        EXPECT_EQ(l.library, nullptr);
        EXPECT_EQ(l.result, c.result);
        std::vector<std::string> lines = c.lines;
        lines.push_back("GSMachine: Error loading library x.gsl");
        EXPECT_EQ(l.log, lines);
    }
}

namespace {

class Probe : public GSRuntime::GSNativeFunction {
public:
    using GSNativeFunction::GSNativeFunction;
    bool Call(GSRuntime::GSObject*, GSRuntime::GSThread&) override { return true; }
};

}  // namespace

TEST(LoaderTest, NativesBindByExactSignatureAndUnboundOnesOnlyLog)
{
    TestMachine t;
    TempFolder dir;
    t.machine.AddNative(std::make_unique<Probe>("X", "$int@X::Count()"));
    GSLibraryBuilder b = Basic();
    b.classes[0].functions[0].flags = GSFunction::kFlagNative;
    b.classes[0].functions[0].code = {};
    GSLibraryBuilder::Function other = GSLibraryBuilder::FunctionOf("$int@X::count()");
    other.flags = GSFunction::kFlagNative;
    other.code = {};
    b.classes[0].functions.insert(b.classes[0].functions.begin() + 1, other);
    Loaded l = Load(t, dir, b);
    ASSERT_NE(l.library, nullptr);
    EXPECT_EQ(l.log, (std::vector<std::string>{"Could not resolve native link $int@X::count()"}));
    GSClass& x = l.library->classes[0];
    EXPECT_EQ(x.functions[0].native, t.machine.FindNative("X", "$int@X::Count()"));
    EXPECT_EQ(x.functions[1].native, nullptr);
}

TEST(LoaderTest, InheritedFunctionsMatchAfterTheFirstScope)
{
    TestMachine t;
    TempFolder dir;
    GSLibraryBuilder base("base.gs", kBaseId.low, kBaseId.high);
    base.AddClass("Base", {"$void@Base::Run(int)", "$int@Base::Stop()"});
    AddImage(t.machine, dir, "base.gsl", base.Build());

    GSLibraryBuilder b("x.gs", kId.low, kId.high);
    size_t d = b.AddClass("Derived", {"$void@Derived::Run(int)", "$void@Derived::Stop()", "$void@Derived::Run()"});
    uint32_t baseRef = b.AddClassRef(b.AddDependency(kBaseId.low, kBaseId.high), "Base");
    b.classes[d].bases.push_back({baseRef, 3});
    b.classes[d].fieldCount = 6;
    Loaded l = Load(t, dir, b);
    ASSERT_NE(l.library, nullptr) << l.result;
    GSLibrary* baseLib = t.machine.GetLibrary("base.gsl");
    ASSERT_NE(baseLib, nullptr);
    GSClass& derived = l.library->classes[0];
    GSClass& baseClass = baseLib->classes[0];
    EXPECT_EQ(derived.functions[0].inherited, &baseClass.functions[0]);
    EXPECT_EQ(derived.functions[0].inheritedOffset, 3u);
    // Another return type still matches; another argument list does not.
    EXPECT_EQ(derived.functions[1].inherited, &baseClass.functions[1]);
    EXPECT_EQ(derived.functions[2].inherited, nullptr);
}

TEST(LoaderTest, AnUnalignedHeaderNameKeepsTheTablesReadable)
{
    for (const char* name : {"a.gs", "ab.gs", "abc.gs", "abcd.gs"}) {
        SCOPED_TRACE(name);
        TestMachine t;
        TempFolder dir;
        GSLibraryBuilder b = Basic();
        b.name = name;
        Loaded l = Load(t, dir, b);
        ASSERT_NE(l.library, nullptr);
        EXPECT_STREQ(l.library->classes[0].functions[0].name, "$int@X::Count()");
    }
}
