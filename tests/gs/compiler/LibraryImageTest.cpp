// The library image the compiler writes: read back by the test reader,
// which checks every length, tag, count, offset, padding and alignment,
// then compared field by field with what the program declares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compress/Crc32.h"
#include "gs/compiler/CodegenTestSupport.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/bytecode/Opcodes.h"
#include "gs/support/store/LibraryNameCrc.h"

using gsimage::ClassRecord;
using gsimage::FunctionRecord;
using gstest::CompileInFolder;
using gstest::CompileText;
using gstest::Compiled;

namespace {

void ExpectReadsBack(const Compiled& c)
{
    ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.messages);
    EXPECT_TRUE(c.image.errors.empty()) << ::testing::PrintToString(c.image.errors);
}

// Loads the image (and the others given) through a fresh script machine.
void ExpectLoads(const std::vector<const Compiled*>& libraries)
{
    TempFolder dir;
    for (size_t i = 0; i < libraries.size(); ++i)
        dir.Write("l" + std::to_string(i) + ".gsl",
                  std::string(libraries[i]->bytes.begin(), libraries[i]->bytes.end()));
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    ASSERT_TRUE(machine.AddLibraryFolder(Nyx::PString(dir.Path())));
    int result = 1;
    const gsimage::Image& top = libraries.front()->image;
    EXPECT_NE(machine.LoadLibrary(LibraryId{top.idLow, top.idHigh}, &result), nullptr);
    EXPECT_EQ(result, GSMachine::kLinked);
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : words) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(w >> (8 * i)));
    }
    return bytes;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace

// The smallest library, byte for byte: one class without members.
TEST(LibraryImageTest, TheSmallestLibraryByteForByte)
{
    const std::string source = "class A {};\n";
    const Compiled c = CompileText(source);
    ExpectReadsBack(c);
    const uint32_t low = Crc32(source.data(), uint32_t(source.size()));
    const uint32_t high = LibraryNameCrc("t.gs");

    std::vector<uint8_t> expected = Words({0x10C, 0xF762575D, 0x3F828F5C, low, high, 5});
    Append(expected, {'t', '.', 'g', 's', 0});                 // header: 29 bytes
    Append(expected, Words({20, 2, 1, low, high}));            // dependencies
    Append(expected, Words({31, 3, 2}));                       // strings: "A", "::A()"
    // The texts may stand in either order; string 0 is "A" and string 1
    // "::A()" wherever they stand.
    const std::string texts = c.bytes.size() > 77 ? std::string(c.bytes.begin() + 69, c.bytes.begin() + 77) : "";
    const bool nameFirst = texts == std::string("A\0::A()\0", 8);
    EXPECT_TRUE(nameFirst || texts == std::string("::A()\0A\0", 8)) << texts;
    Append(expected, nameFirst ? Words({0, 2}) : Words({6, 0}));
    Append(expected, std::vector<uint8_t>(texts.begin(), texts.end()));
    Append(expected, {0, 0, 0});                         // to offset 80
    Append(expected, Words({12, 4, 0, 12, 5, 0}));        // no references
    Append(expected, Words({0xA4, 6, 1}));                // one class
    Append(expected, Words({0x98, 7, 0, 0, 0}));          // "A", no flags, no bases
    Append(expected, Words({0x4C, 8, 1}));                // the initialiser alone
    Append(expected, Words({0x40, 9, 1, 0, 0xFFFFFFFF, 0x20, 0xFFFFFFFF, 4, 0, 1, 4, 1, 0, 0, 0, 0}));
    Append(expected, Words({12, 10, 0, 12, 11, 0}));      // no fields, no methods
    Append(expected, Words({0x20, 12, 5, 1, 1, 1, 0, 0}));  // 2 + 0 fields + 3, one part
    EXPECT_EQ(c.bytes, expected);
    ExpectLoads({&c});
}

// A class record keeps the specifiers static, final, game and secured, and
// the script machine reads them back as written.
TEST(LibraryImageTest, ClassFlagsKeepStaticFinalGameAndSecured)
{
    const Compiled c = CompileText(
        "class Plain {};\n"
        "static class Static {};\n"
        "final class Final {};\n"
        "game class Game {};\n"
        "secured class Secured {};\n"
        "static final game secured class All {};\n");
    ExpectReadsBack(c);
    const struct {
        const char* cls;
        uint32_t flags;
    } cases[] = {
        {"Plain", 0}, {"Static", 0x4}, {"Final", 0x8}, {"Game", 0x40}, {"Secured", 0x100}, {"All", 0x14C},
    };
    TempFolder dir;
    dir.Write("t.gsl", std::string(c.bytes.begin(), c.bytes.end()));
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    ASSERT_TRUE(machine.AddLibraryFolder(Nyx::PString(dir.Path())));
    GSRuntime::GSLibrary* library = machine.LoadLibrary(LibraryId{c.image.idLow, c.image.idHigh});
    ASSERT_NE(library, nullptr);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.cls);
        const ClassRecord* record = c.image.Class(test.cls);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->flags, test.flags);
        const GSRuntime::GSClass* loaded = library->FindClass(test.cls);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->flags, test.flags);
    }
}

TEST(LibraryImageTest, EdgeCasesOfTheLayout)
{
    const std::string longName(201, 'n');
    struct Case {
        const char* what;
        std::string file;
        std::string source;
    };
    const Case cases[] = {
        {"no includes", "t.gs", "class A { int F() { return 1; } };"},
        {"no references", "t.gs", "class A { int x; string s = \"s\"; };"},
        {"a class without functions", "t.gs", "class A { int x; }; class B { void F() { } };"},
        {"a long library name", longName + ".gs", "class A { void F() { } };"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        TempFolder dir;
        dir.Write(test.file, test.source);
        const Compiled c = CompileInFolder(dir.Path(), test.file);
        ExpectReadsBack(c);
        const gsimage::Image& image = c.image;
        // One dependency: the library itself.
        ASSERT_EQ(image.dependencies.size(), 1u);
        EXPECT_EQ(image.dependencies[0], std::make_pair(image.idLow, image.idHigh));
        EXPECT_EQ(image.name, test.file);
        EXPECT_EQ(image.sectionAt[2], 24 + test.file.size() + 1);
        EXPECT_EQ(image.sectionAt[4] % 4, 0u);
        const ClassRecord* a = image.Class("A");
        ASSERT_NE(a, nullptr);
        if (std::string(test.what) == "no references") {
            EXPECT_EQ(image.sectionLength[4], 12u);
            EXPECT_EQ(image.sectionLength[5], 12u);
        } else if (std::string(test.what) == "a class without functions") {
            ASSERT_EQ(a->functions.size(), 1u);
            EXPECT_EQ(a->functions[0].signature, "::A()");
            EXPECT_TRUE(a->methods.empty());
        } else if (std::string(test.what) == "a long library name") {
            EXPECT_NE(image.sectionAt[2] % 4, 0u);
        }
        ExpectLoads({&c});
    }
}

// Two levels of bases: the base list with direct and brought-in bases and
// their offsets, the method tables with overrides standing in inherited and
// own slots, the layout words, and a function reference for every function
// a method table holds.
TEST(LibraryImageTest, TwoLevelsOfBases)
{
    const Compiled c = CompileText(
        "class A { public int a1; public int F() { return 1; } public void G() { } };\n"
        "class B isclass A { public int b1; public string b2; public int F() { return 2; } public void H() { } };\n"
        "class C isclass B { public int c1; public void G() { } public void K() { } };\n");
    ExpectReadsBack(c);
    const gsimage::Image& image = c.image;
    auto refName = [&](uint32_t classRef) { return image.classRefs.at(classRef).name; };
    auto method = [&](const ClassRecord& cls, size_t slot) {
        const auto& [ref, offset] = cls.methods.at(slot);
        return image.functionRefs.at(ref).signature + "@" + std::to_string(offset);
    };

    const ClassRecord* b = image.Class("B");
    const ClassRecord* cc = image.Class("C");
    ASSERT_TRUE(b && cc);
    ASSERT_EQ(cc->bases.size(), 2u);
    EXPECT_EQ(refName(cc->bases[0].classRef), "B");
    EXPECT_EQ(cc->bases[0].offset, 2u);
    EXPECT_EQ(cc->bases[0].direct, 1u);
    EXPECT_EQ(refName(cc->bases[1].classRef), "A");
    EXPECT_EQ(cc->bases[1].offset, 4u);
    EXPECT_EQ(cc->bases[1].direct, 0u);

    const std::vector<std::string> bMethods = {"$int@B::F()@0", "$void@A::G()@2", "$int@B::F()@0", "$void@B::H()@0"};
    for (size_t i = 0; i < bMethods.size(); ++i)
        EXPECT_EQ(method(*b, i), bMethods[i]) << i;
    const std::vector<std::string> cMethods = {"$int@B::F()@2", "$void@C::G()@0", "$int@B::F()@2",
                                               "$void@B::H()@2", "$void@C::G()@0", "$void@C::K()@0"};
    ASSERT_EQ(cc->methods.size(), cMethods.size());
    for (size_t i = 0; i < cMethods.size(); ++i)
        EXPECT_EQ(method(*cc, i), cMethods[i]) << i;
    // Each function record names its own slot.
    EXPECT_EQ(cc->Find("$void@C::G()")->MethodSlot(), 4);
    EXPECT_EQ(cc->Find("$void@C::K()")->MethodSlot(), 5);
    EXPECT_EQ(b->Find("$int@B::F()")->MethodSlot(), 2);
    // Function references carry the slot in their own class.
    for (const gsimage::FunctionRef& ref : image.functionRefs) {
        if (ref.signature == "$void@A::G()") {
            EXPECT_EQ(ref.slot, 1);
        } else if (ref.signature == "$void@B::H()") {
            EXPECT_EQ(ref.slot, 3);
        }
    }

    EXPECT_EQ(cc->fieldWords, 9 + 1 + 3);
    EXPECT_EQ(cc->initialiserCount, 5);
    EXPECT_EQ(cc->layoutWords, (std::vector<int32_t>{0, 2, -2, 1, 3, 0, 0, 4, -4, 1, 5, 0, 1, 1, 0}));
    EXPECT_EQ(b->layoutWords, (std::vector<int32_t>{0, 2, -2, 1, 3, 0, 1, 1, 0}));
    EXPECT_EQ(b->fieldWords, 5 + 2 + 3);
    EXPECT_EQ(b->objectFields, (std::vector<int32_t>{6}));
    ExpectLoads({&c});
}

// Fields: their slots after the base's, the define constants left out (but
// holding their slots), the classes of object fields, and the fields that
// hold references in the layout block.
TEST(LibraryImageTest, FieldsAndTheirSlots)
{
    const Compiled c = CompileText(
        "class Other { public int n; };\n"
        "class F isclass Other {\n"
        "  public int count;\n"
        "  define string Name = \"f\";\n"
        "  string text;\n"
        "  public Other next;\n"
        "  float[] values;\n"
        "  bool flag;\n"
        "};\n");
    ExpectReadsBack(c);
    const ClassRecord* f = c.image.Class("F");
    ASSERT_NE(f, nullptr);
    struct Expected {
        const char* name;
        uint32_t type;
        const char* cls;
        uint32_t isPublic;
        int32_t slot;
    };
    const Expected fields[] = {
        {"count", 2, nullptr, 1, 5}, {"text", 4, nullptr, 0, 7}, {"next", 5, "Other", 1, 8},
        {"values", 9, nullptr, 0, 9}, {"flag", 1, nullptr, 0, 10},
    };
    ASSERT_EQ(f->fields.size(), std::size(fields));
    for (size_t i = 0; i < std::size(fields); ++i) {
        SCOPED_TRACE(fields[i].name);
        const gsimage::Field& field = f->fields[i];
        EXPECT_EQ(field.name, fields[i].name);
        EXPECT_EQ(field.type, fields[i].type);
        EXPECT_EQ(field.classRef < 0 ? "" : c.image.classRefs.at(size_t(field.classRef)).name,
                  fields[i].cls ? fields[i].cls : "");
        EXPECT_EQ(field.isPublic, fields[i].isPublic);
        EXPECT_EQ(field.slot, fields[i].slot);
    }
    EXPECT_EQ(f->objectFields, (std::vector<int32_t>{7, 8, 9}));
    EXPECT_EQ(f->fieldWords, 5 + 6 + 3);
    EXPECT_EQ(c.image.StringIndex("Name"), -1);
    ExpectLoads({&c});
}

// A function record's thirteen words, its reference slots, its code padded
// with 0xFF, and a line table with an entry where the line changes.
TEST(LibraryImageTest, FunctionRecordWords)
{
    const Compiled c = CompileText(
        "class R {\n"
        "  int n;\n"
        "  R Fn(string s, int i) {\n"
        "    R o; int[] arr;\n"
        "    int k = o.n++;\n"
        "    k = k + i; i = k;\n"
        "\n"
        "    return o;\n"
        "  }\n"
        "  native void Bound(object x);\n"
        "};\n");
    ExpectReadsBack(c);
    const ClassRecord* r = c.image.Class("R");
    ASSERT_NE(r, nullptr);
    const FunctionRecord* fn = r->Find("$R@R::Fn(string,int)");
    ASSERT_NE(fn, nullptr);
    // a = 3 ("me", s, i), b = 3 (o, arr, k), c = 1 (o.n++'s old value), so
    // n = 4; the deepest stack is 3 (o, o, o.n ... and k, i on the way).
    const int32_t selfRef = c.image.classRefs.empty() ? -2 : 0;
    const int32_t expected[] = {fn->words[0], 5, selfRef, 0, 0, 8, -2, 5, fn->MaxDepth() + 8, 3, 3, 1, 3};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(fn->words[i], expected[i]) << "word " << i + 1;
    EXPECT_EQ(c.image.classRefs.at(size_t(fn->ReturnClass())).name, "R");
    EXPECT_EQ(fn->MaxDepth(), 2);
    EXPECT_EQ(fn->referenceSlots, (std::vector<int32_t>{1, 3, 4}));
    EXPECT_EQ(fn->lines, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 5}, {20, 6}, {36, 8}}));
    EXPECT_EQ(gstest::Code(c, "Fn"), "LOADO 3; DUPO; GETF 2; STOREL 6; INC; POPF 2; LOAD 6; POPL 5; LOAD 5; LOAD 2; "
                                     "ADD; POPL 5; LOAD 5; POPL 2; LOADO 3; RETO");

    const FunctionRecord* bound = r->Find("$void@R::Bound(object)");
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->Flags(), 2u);
    EXPECT_TRUE(bound->code.empty());
    EXPECT_TRUE(bound->hasLines);
    EXPECT_TRUE(bound->lines.empty());
    EXPECT_EQ(bound->referenceSlots, (std::vector<int32_t>{1}));
    ExpectLoads({&c});
}

// The initialiser runs the field initial values; its temporary slots are
// counted as the frame needs them (the highest index + 1).
TEST(LibraryImageTest, TheInitialiserRecord)
{
    const Compiled c = CompileText(
        "class Counter { public int n; };\n"
        "class Init {\n"
        "  Counter counter;\n"
        "  int first = 3, second;\n"
        "  int third = counter.n++;\n"
        "  string name = \"init\";\n"
        "};\n");
    ExpectReadsBack(c);
    const ClassRecord* init = c.image.Class("Init");
    ASSERT_NE(init, nullptr);
    const FunctionRecord& record = init->functions.back();
    EXPECT_EQ(record.Temporaries(), 1);
    EXPECT_EQ(record.words[5], 1 + 4);  // X + 4
    EXPECT_EQ(record.words[7], 1 + 1);  // X + 1
    EXPECT_EQ(gsimage::Disassemble(c.image, record.code),
              "PUSHI 3; POPM 3; GETMO 2; DUPO; GETF 2; STOREL 1; INC; POPF 2; LOAD 1; POPM 5; PUSHS \"init\"; "
              "POPMO 6; RET");
    ExpectLoads({&c});
    // An initialiser without code has none, not even the return.
    const ClassRecord* counter = c.image.Class("Counter");
    ASSERT_NE(counter, nullptr);
    EXPECT_TRUE(counter->functions.back().code.empty());
}

// The loader refuses a function or initialiser whose frame does not fit a
// thread's stack, so the compiler writes none: it names the statement or
// field that takes the frame past it. A right-nested sum keeps each term
// on the stack until the innermost is added.
TEST(LibraryImageTest, AFrameThatOutgrowsAThreadsStackIsRefused)
{
    constexpr int kSlots = GSBytecode::kThreadStackSlots;
    const auto sum = [](const std::string& term, int terms) {
        std::string s;
        for (int i = 1; i < terms; ++i)
            s += term + " + (";
        return s + term + std::string(size_t(terms - 1), ')');
    };
    // Beside the operand stack, F's frame holds its argument and the frame
    // record (4 slots); the initialiser's, the record alone.
    const auto method = [&](int terms) {
        return "class T {\n  int F(int v) {\n    v = v + 1;\n    return " + sum("v", terms) + ";\n  }\n};\n";
    };
    const auto initialiser = [&](int terms) {
        return "class T {\n  int a = 1;\n  int b = " + sum("a", terms) + ";\n};\n";
    };
    const struct {
        const char* what;
        std::string source;
        int refusedAt;  // the line named; 0: compiles and loads
    } cases[] = {
        {"the deepest sum a method's frame holds", method(kSlots - 5), 0},
        {"a term more", method(kSlots - 4), 4},
        {"a sum of 1,100 terms", method(1100), 4},
        {"the deepest sum an initialiser's frame holds", initialiser(kSlots - 4), 0},
        {"a term more in an initialiser", initialiser(kSlots - 3), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Compiled compiled = CompileText(c.source);
        if (c.refusedAt == 0) {
            ExpectReadsBack(compiled);
            ExpectLoads({&compiled});
            continue;
        }
        const std::string line = std::to_string(c.refusedAt);
        EXPECT_EQ(compiled.messages,
                  (std::vector<std::string>{"t.gs(" + line + ") : Stack overflow; function needs more than " +
                                                std::to_string(kSlots) + " stack slots, line " + line + ".",
                                            "\nInternal Code Generation Error..."}));
        EXPECT_EQ(compiled.errors, 1);
        EXPECT_TRUE(compiled.bytes.empty());
    }
}

// A library that includes another names it among its dependencies, in the
// order the files were first compiled, and refers to its classes there.
TEST(LibraryImageTest, IncludedClassesAreReferencedInTheirOwnLibrary)
{
    TempFolder dir;
    dir.Write("base.gs", "class Base { public int v; public int Get() { return v; } };\n");
    dir.Write("top.gs", "include \"base.gs\"\nclass Top isclass Base { int Use(Base b) { return b.Get(); } };\n");
    const Compiled base = CompileInFolder(dir.Path(), "base.gs");
    const Compiled top = CompileInFolder(dir.Path(), "top.gs");
    ExpectReadsBack(base);
    ExpectReadsBack(top);
    ASSERT_EQ(top.image.dependencies.size(), 2u);
    EXPECT_EQ(top.image.dependencies[1], std::make_pair(base.image.idLow, base.image.idHigh));
    for (const gsimage::ClassRef& ref : top.image.classRefs)
        EXPECT_EQ(ref.dependency, ref.name == "Base" ? 1u : 0u) << ref.name;
    ExpectLoads({&top, &base});
}

TEST(LibraryImageTest, AnOverrideWithAnotherReturnTypeWritesNoLibrary)
{
    TempFolder dir;
    dir.Write("t.gs", "class B { int F() { return 1; } };\nclass D isclass B { string F() { return \"\"; } };\n");
    GSCompiler::CompileSession sink;
    EXPECT_EQ(GSCompiler::CompileScriptFile(dir / "t.gs", nullptr, GSCompiler::IncludePathList(), &sink), 1);
    GSCompiler::IncludePathList::Global().Clear();
    EXPECT_EQ(gstest::TakeLines(sink), (std::vector<std::string>{"Wrong return type on function: ",
                                                                  "$string@D::F()", "\n",
                                                                  "Internal Compiler Error.\n"}));
    EXPECT_FALSE(dir.Has("t.gsl"));
}
