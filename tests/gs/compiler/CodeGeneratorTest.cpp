// The code generator's parts and limits: temporaries, the operands that
// hold 16 bits, labels and fix-ups, the string table, line tables, a
// switch without a default, and buffers that failed.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gs/compiler/CodegenTestSupport.h"
#include "gs/compiler/codegen/CodeGenerator.h"
#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/LabelTable.h"
#include "gs/compiler/codegen/StringTable.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/image/LibraryWriter.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

using namespace GSCompiler;

namespace {

// A compile of "t.gs" in a folder, checked but not yet generated.
struct Checked {
    explicit Checked(const std::string& source)
    {
        dir.Write("t.gs", source);
        IncludePathList::Global().Clear();
        IncludePathList::Global().Append(Nyx::File::Path(dir.Path() + "/"));
        state.Reset();
        state.TopContext().Init(&state.Symbols(), &sink);
        errors = CompileSourceFile(state, "t.gs", state.TopContext(), true);
        IncludePathList::Global().Clear();
    }
    std::vector<std::string> Messages() { return gstest::TakeLines(sink); }
    // The image of what was generated, read back; empty when the writer
    // refused.
    gsimage::Image Write()
    {
        Utils::ByteBuffer buffer;
        buffer.Init(1024);
        if (!WriteLibraryImage(buffer, state, &sink, "t.gs"))
            return {};
        return gsimage::ReadImage(std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size()));
    }

    TempFolder dir;
    CompileSession sink;
    CompilerState state;
    int32_t errors = -1;
};

SyntaxNode* FindNode(SyntaxNode* node, const std::function<bool(const SyntaxNode&)>& match)
{
    for (; node; node = node->next) {
        if (match(*node))
            return node;
        for (SyntaxNode* child : node->child) {
            if (SyntaxNode* found = FindNode(child, match))
                return found;
        }
    }
    return nullptr;
}

}  // namespace

TEST(CodeGeneratorTest, ANinthTemporaryIsAnError)
{
    CompilerState state;
    CompileSession sink;
    state.TopContext().Init(&state.Symbols(), &sink);
    state.TopContext().SetFileName("t.gs");
    GSFunctionSymbol* symbol = state.Symbols().CreateFunctionSymbol("f()");
    ASSERT_NE(symbol, nullptr);
    symbol->argumentSlots = 2;
    symbol->localSlots = 3;
    GSCFunction function(*symbol);
    GenerationContext ctx(state, state.TopContext());
    ctx.BeginFunction(function);
    ctx.line = 7;
    // Temporaries follow "me", the parameter and the locals.
    for (int32_t i = 0; i < 8; ++i)
        EXPECT_EQ(ctx.TakeTemporary(), 5 + i);
    EXPECT_EQ(symbol->temporarySlots, 8);
    EXPECT_EQ(ctx.TakeTemporary(), -1);
    EXPECT_EQ(gstest::TakeLines(sink),
              std::vector<std::string>{"t.gs(7) : Expression needs more than 8 temporaries, line 7."});
    EXPECT_EQ(state.TopContext().ErrorCount(), 1);
    // A freed temporary is the next one taken.
    ctx.FreeTemporary(8);
    EXPECT_EQ(ctx.TakeTemporary(), 8);
    EXPECT_TRUE(ctx.EndCode());
    state.Symbols().Destroy(symbol);
}

TEST(CodeGeneratorTest, TemporariesCountFromOneForTheFirst)
{
    // One temporary taken: the frame reserves one slot for it.
    Checked c("class T { int n; int F(T t) { return t.n++; } };");
    ASSERT_EQ(c.errors, 0);
    ASSERT_TRUE(GenerateProgram(c.state));
    const GSCFunction& f = *c.state.Classes().at(0)->functions.at(0);
    EXPECT_EQ(f.symbol.temporarySlots, 1);
    EXPECT_EQ(f.code.Depth(), 0);
}

// Every 16-bit operand and signed count is checked: more than it can hold
// is a counted error naming the limit, never code with a wrapped operand.
TEST(CodeGeneratorTest, OperandsThatOutgrowSixteenBitsAreErrors)
{
    struct Case {
        uint8_t opcode;
        OperandLimit limit;
        uint32_t most;
        const char* message;
    };
    const Case cases[] = {
        {GSBytecode::kPUSHS, OperandLimit::kStrings, 65535, "t.gs(4) : More than 65535 strings, line 4."},
        {GSBytecode::kLOAD, OperandLimit::kFrameSlots, 65535, "t.gs(4) : More than 65535 frame slots, line 4."},
        {GSBytecode::kGETM, OperandLimit::kFields, 65535, "t.gs(4) : More than 65535 fields, line 4."},
        {GSBytecode::kGETF, OperandLimit::kMethods, 65535, "t.gs(4) : More than 65535 methods, line 4."},
        {GSBytecode::kCAST, OperandLimit::kClassReferences, 65535,
         "t.gs(4) : More than 65535 class references, line 4."},
        {GSBytecode::kSWITCH, OperandLimit::kSwitchCases, 32767,
         "t.gs(4) : More than 32767 cases in one switch, line 4."},
        {GSBytecode::kWAIT, OperandLimit::kOnClauses, 32767,
         "t.gs(4) : More than 32767 on statements in one wait, line 4."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message);
        CompilerState state;
        CompileSession sink;
        state.TopContext().Init(&state.Symbols(), &sink);
        state.TopContext().SetFileName("t.gs");
        GSCClass cls(*state.Symbols().CreateClassSymbol("T"));
        GenerationContext ctx(state, state.TopContext());
        ctx.BeginInitialiser(cls);
        ctx.line = 4;
        EXPECT_TRUE(ctx.EmitU16(test.opcode, test.most, test.limit));
        EXPECT_FALSE(ctx.EmitU16(test.opcode, test.most + 1, test.limit));
        EXPECT_EQ(cls.init.Size(), 3u);
        EXPECT_EQ(gstest::TakeLines(sink), std::vector<std::string>{test.message});
        EXPECT_EQ(state.TopContext().ErrorCount(), 1);
        ctx.EndCode();
        state.Symbols().Destroy(&cls.symbol);
    }
}

// The same from source, where it is cheap to get there: the strings of
// one library, the cases of one switch, the clauses of one wait.
TEST(CodeGeneratorTest, ProgramsThatOutgrowSixteenBitOperands)
{
    auto repeat = [](int count, const std::function<std::string(int)>& piece) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += piece(i);
        return text;
    };
    auto n = [](int i) { return std::to_string(i); };
    struct Case {
        const char* what;
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {"strings",
         "class T {\n  void F(string s) {\n" + repeat(65537, [&](int i) { return "s = \"k" + n(i) + "\";\n"; }) +
             "  }\n};\n",
         "t.gs(65539) : More than 65535 strings, line 65539."},
        {"switch cases",
         "class T {\n  void F(int n) {\n    switch (n) {\n" +
             repeat(32768, [&](int i) { return "      case " + n(i) + ": ;\n"; }) + "      default: ;\n    }\n  }\n};\n",
         "t.gs(3) : More than 32767 cases in one switch, line 3."},
        {"on clauses",
         "class T {\n  thread void F() {\n    wait () {\n" +
             repeat(32768, [&](int i) { return "      on \"m\", \"" + n(i) + "\": ;\n"; }) + "    }\n  }\n};\n",
         "t.gs(32772) : More than 32767 on statements in one wait, line 32772."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Checked c(test.source);
        ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.Messages());
        EXPECT_FALSE(GenerateProgram(c.state));
        EXPECT_EQ(c.Messages(), std::vector<std::string>{test.message});
        EXPECT_EQ(c.state.TopContext().ErrorCount(), 1);
    }
}

// Texts and sums thousands of terms long, else-if chains of a thousand
// branches and the deepest nesting the checker lets through all generate,
// without overrunning the native stack (the tests run with 8 MB of it);
// the deepest calls then need more than a thread's stack, and are refused.
TEST(CodeGeneratorTest, LongChainsAndDeepNestingGenerate)
{
    auto repeat = [](const std::string& piece, int times) {
        std::string s;
        for (int i = 0; i < times; ++i)
            s += piece;
        return s;
    };
    struct Case {
        const char* what;
        std::string source;
        const char* function;
        std::string code;  // empty: not compared
        const char* refusal = nullptr;
    };
    const Case cases[] = {
        {"a sum of 10,000 terms",
         "class T {\n  int F(int x) {\n    return x" + repeat("\n      + x", 9999) + ";\n  }\n};\n", "F",
         "LOAD 1" + repeat("; LOAD 1; ADD", 9999) + "; RETV"},
        {"a text of 10,000 terms",
         "class T {\n  string F(int x) {\n    return \"(\"" + repeat(" + x + \",\"", 4999) + " + x;\n  }\n};\n", "F",
         "PUSHS \"(\"" + repeat("; LOAD 1; ITOS; SCAT; PUSHS \",\"; SCAT", 4999) + "; LOAD 1; ITOS; SCAT; RETO"},
        {"a chain of and", "class T {\n  bool F(int x) {\n    return x" + repeat(" and x", 2000) + ";\n  }\n};\n", "F",
         ""},
        {"an else-if chain of 1,000 branches",
         "class T {\n  int F(int x) {\n    if (x == 0) x = 1;\n" + repeat("    else if (x == 2) x = 3;\n", 999) +
             "    return x;\n  }\n};\n",
         "F", ""},
        {"the deepest nesting of !", "class T {\n  bool F(bool b) {\n    return " + repeat("!", 3996) + "b;\n  }\n};\n",
         "F", "LOAD 1" + repeat("; EQZ", 3996) + "; RETV"},
        {"the deepest chain of fields",
         "class T {\n  T next;\n  int v;\n  int F() {\n    return me" + repeat(".next", 3995) + ".v;\n  }\n};\n", "F",
         ""},
        {"the deepest calls with converted arguments",
         "class T {\n  float G(int v) { return 1.0; }\n  float F() {\n    return " + repeat("G(", 1998) + "1.5" +
             repeat(")", 1998) + ";\n  }\n};\n",
         "F", "", "t.gs(4) : Stack overflow; function needs more than 1024 stack slots, line 4."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const gstest::Compiled c = gstest::CompileText(test.source);
        if (test.refusal) {
            EXPECT_EQ(c.messages, (std::vector<std::string>{test.refusal, "\nInternal Code Generation Error..."}));
            continue;
        }
        ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.messages);
        for (const auto& [signature, depth] : c.endDepths)
            EXPECT_EQ(depth, 0) << signature;
        if (!test.code.empty()) {
            EXPECT_EQ(gstest::Code(c, test.function), test.code);
        }
    }
}

// A chain generated in a loop keeps the lines it would have had nested:
// each operator's code is on the line where its right operand ends.
TEST(CodeGeneratorTest, AChainOverSeveralLinesKeepsItsLines)
{
    const gstest::Compiled c = gstest::CompileText(
        "class T {\n  string F(int a, int b) {\n    return \"a\"\n      + a\n      + (b\n         - a)\n"
        "      + b;\n  }\n};\n");
    ASSERT_EQ(c.errors, 0) << ::testing::PrintToString(c.messages);
    const gsimage::FunctionRecord* f = gstest::FindFunction(c.image, "F");
    ASSERT_NE(f, nullptr);
    // PUSHS "a" (3 bytes); LOAD a (3), ITOS, SCAT; LOAD b (3); LOAD a
    // (3), SUB, ITOS, SCAT; LOAD b ...
    EXPECT_EQ(f->lines, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {3, 4}, {8, 5}, {11, 6}, {17, 7}}));
}

TEST(CodeGeneratorTest, ASwitchWithoutDefaultGoesOnAfterItsBody)
{
    // The checker asks for a default; the generator still serves a switch
    // without one.
    Checked c("class T {\n  int F(int n) {\n    switch (n) { case 4: n = 1; default: n = 2; }\n    return n;\n  }\n};\n");
    ASSERT_EQ(c.errors, 0);
    SyntaxNode* sw = FindNode(c.state.TopContext().Declarations(),
                              [](const SyntaxNode& n) { return n.category == kStatement && n.kind == kSwitch; });
    ASSERT_NE(sw, nullptr);
    // Take the default out of the body and out of the switch's links.
    SyntaxNode* previous = FindNode(sw->child[1]->child[0], [](const SyntaxNode& n) {
        return n.next && n.next->category == kStatement && n.next->kind == kDefault;
    });
    ASSERT_NE(previous, nullptr);
    previous->next = previous->next->next;
    for (SyntaxNode** link = &sw->ownerLink; *link; link = &(*link)->ownerLink) {
        if ((*link)->kind == kDefault) {
            *link = (*link)->ownerLink;
            break;
        }
    }
    ASSERT_TRUE(GenerateProgram(c.state));
    const gsimage::Image image = c.Write();
    ASSERT_TRUE(image.errors.empty()) << ::testing::PrintToString(image.errors);
    const gsimage::FunctionRecord* f = gstest::FindFunction(image, "F");
    ASSERT_NE(f, nullptr);
    // SWITCH at 3 with one case (15 bytes of table); the body ends at 30,
    // where the unmatched values go.
    EXPECT_EQ(gsimage::Disassemble(image, f->code),
              "LOAD 1; SWITCH 4->18 default->30; PUSH1; POPL 1; PUSHI 2; POPL 1; LOAD 1; RETV");
}

// A buffer that could not grow leaves code that is not whole: the writer
// refuses the library rather than write it.
TEST(CodeGeneratorTest, ABufferThatFailedMakesTheWriterFail)
{
    const std::string source = "class T {\n  int x = 1;\n  int F(string s) { return x; }\n};\n";
    const std::function<void(GSCClass&)> breaks[] = {
        [](GSCClass& cls) { cls.functions.at(0)->code.Bytes().Free(); },
        [](GSCClass& cls) { cls.init.Bytes().Free(); },
    };
    for (size_t i = 0; i < std::size(breaks); ++i) {
        SCOPED_TRACE(i);
        Checked c(source);
        ASSERT_EQ(c.errors, 0);
        ASSERT_TRUE(GenerateProgram(c.state));
        EXPECT_FALSE(c.Write().classes.empty());
        GSCClass& cls = *c.state.Classes().at(0);
        breaks[i](cls);
        // The next write finds no storage.
        cls.functions.at(0)->code.EmitOp(GSBytecode::kRET);
        cls.init.EmitOp(GSBytecode::kRET);
        EXPECT_FALSE(cls.Whole());
        Utils::ByteBuffer out;
        out.Init(1024);
        EXPECT_FALSE(WriteLibraryImage(out, c.state, nullptr, "t.gs"));
    }
}

TEST(CodeGeneratorTest, LabelsAndFixups)
{
    GSBytecode::CodeBuffer code;
    ASSERT_TRUE(code.Init(64));
    LabelTable labels;
    const int32_t first = labels.CreateLabel();
    const int32_t named = labels.FindOrCreateLabel("again");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(named, 1);
    EXPECT_EQ(labels.FindOrCreateLabel("again"), named);
    EXPECT_EQ(labels.FindOrCreateLabel("other"), 2);
    for (int i = 0; i < 300; ++i)
        labels.CreateLabel();

    code.EmitOpU32(GSBytecode::kJMP, 0);
    labels.AddFixup(1, named, "no matching label", 3);
    code.EmitOpU32(GSBytecode::kJZ, 0);
    labels.AddFixup(6, 250, "Break", 4);
    code.EmitOpU32(GSBytecode::kJMP, 0);
    labels.AddFixup(11, 2, "no matching label", 9);
    labels.AddFixup(11, 2, "no matching label", 12);
    EXPECT_TRUE(labels.DefineLabel(named, 15));
    // A label placed twice keeps its first place; an unknown one is none.
    EXPECT_FALSE(labels.DefineLabel(named, 3));
    EXPECT_FALSE(labels.DefineLabel(5000, 3));
    EXPECT_TRUE(labels.DefineLabel(250, 10));
    uint32_t at = 0;
    ASSERT_TRUE(labels.Offset(named, at));
    EXPECT_EQ(at, 15u);

    SourceContext context;
    CompileSession sink;
    context.Init(nullptr, &sink);
    context.SetFileName("t.gs");
    EXPECT_EQ(labels.ResolveFixups(code, &context), 2);
    EXPECT_EQ(gstest::TakeLines(sink), (std::vector<std::string>{"t.gs(9) : no matching label, line 9",
                                                                  "t.gs(12) : no matching label, line 12"}));
    EXPECT_EQ(context.ErrorCount(), 2);
    const uint8_t* bytes = code.Data();
    EXPECT_EQ(bytes[1], 15);
    EXPECT_EQ(bytes[6], 10);
    EXPECT_EQ(bytes[11], 0);
    EXPECT_TRUE(code.Whole());

    // A fix-up past the code marks the buffer.
    labels.AddFixup(13, named, "Break", 1);
    EXPECT_EQ(labels.ResolveFixups(code, nullptr), 2);
    EXPECT_EQ(code.Flags(), GSBytecode::CodeBuffer::kPastEnd);

    labels.Release();
    EXPECT_EQ(labels.FixupCount(), 0u);
    EXPECT_EQ(labels.CreateLabel(), 0);
    EXPECT_EQ(labels.FindOrCreateLabel("again"), 1);
}

TEST(CodeGeneratorTest, TheStringTableNumbersTextsAsTheyCome)
{
    StringTable strings;
    std::vector<std::string> texts;
    for (int i = 0; i < 200; ++i)
        texts.push_back("text" + std::to_string(i * 7));
    texts.push_back("");
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(strings.Intern(texts[i]), i);
    EXPECT_EQ(strings.Intern("text7"), 1u);
    EXPECT_EQ(strings.Find("text14"), 2);
    EXPECT_EQ(strings.Find("missing"), -1);
    EXPECT_EQ(strings.Count(), texts.size());
    // The hash order visits each text once, with its own index.
    std::set<uint32_t> seen;
    strings.ForEachInHashOrder([&](const std::string& text, uint32_t index) {
        EXPECT_EQ(texts.at(index), text);
        EXPECT_TRUE(seen.insert(index).second);
    });
    EXPECT_EQ(seen.size(), texts.size());
    strings.Clear();
    EXPECT_EQ(strings.Count(), 0u);
    EXPECT_EQ(strings.Intern("text14"), 0u);
}

TEST(CodeGeneratorTest, TheLineTableHasAnEntryWhereTheLineChanges)
{
    CompilerState state;
    GSFunctionSymbol* symbol = state.Symbols().CreateFunctionSymbol("f()");
    ASSERT_NE(symbol, nullptr);
    GSCFunction function(*symbol);
    const std::pair<uint32_t, int32_t> calls[] = {{0, 3}, {1, 3}, {4, 5}, {4, 6}, {9, 6}, {12, 3}};
    for (const auto& [offset, line] : calls)
        function.AddLine(offset, line);
    ASSERT_EQ(function.LineCount(), 4u);
    const uint32_t expected[] = {0, 3, 4, 5, 4, 6, 12, 3};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const uint8_t* word = function.Lines() + 4 * i;
        EXPECT_EQ(uint32_t(word[0]) | uint32_t(word[1]) << 8, expected[i]) << i;
    }
    state.Symbols().Destroy(symbol);
}
