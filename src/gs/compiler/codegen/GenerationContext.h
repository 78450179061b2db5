// What the code generator keeps while it walks the file being compiled:
// the compile's state, the class and function being generated, the buffer
// instructions go to, the current source line, the function's labels,
// temporaries and statement records, and the emitters that check what an
// instruction's 16-bit operands can hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "gs/compiler/codegen/LabelTable.h"
#include "gs/compiler/parse/SyntaxNode.h"

namespace GSBytecode {
class CodeBuffer;
}

namespace GSCompiler {

class CompilerState;
class GSCClass;
class GSCFunction;
class GSSymbolTable;
class SourceContext;
class StringTable;

// What a 16-bit operand counts, and how many of them it can name.
enum class OperandLimit {
    kStrings,
    kFrameSlots,
    kFields,
    kMethods,
    kClassReferences,
    kSwitchCases,  // the runtime reads the count as signed
    kOnClauses,    // likewise
};

// Where the jumps of one statement go, and what a switch or a wait
// collects from its body.
struct StatementRecord {
    struct Entry {
        uint32_t offset;
        int32_t value;  // a case's value
        const SyntaxNode* node;
    };

    int32_t breakLabel = -1;
    int32_t continueLabel = -1;
    // Switch: the cases, sorted by value (equal values in source order).
    // Wait: the on clauses in source order.
    std::vector<Entry> entries;
    bool hasDefault = false;
    uint32_t defaultOffset = 0;
};

class GenerationContext {
public:
    static constexpr int32_t kTemporaries = 8;

    GenerationContext(CompilerState& state, SourceContext& source);
    GenerationContext(const GenerationContext&) = delete;
    GenerationContext& operator=(const GenerationContext&) = delete;

    // Instructions go to the function's code from here on, with a line
    // entry whenever the source line changes; its labels, temporaries and
    // records start afresh.
    void BeginFunction(GSCFunction& function);
    // Instructions go to the class's initialiser code (no line table).
    void BeginInitialiser(GSCClass& cls);
    // Resolves the fix-ups of the code written since Begin...; false when
    // one stayed unresolved (reported). Labels, temporaries and records
    // are released.
    bool EndCode();
    // The same after a failure: nothing is resolved or reported.
    void AbandonCode();

    // The record of a statement, made on first use.
    StatementRecord& RecordOf(const SyntaxNode& statement);

    // The lowest free temporary's frame slot; -1 (reported) when all
    // eight are taken.
    int32_t TakeTemporary();
    void FreeTemporary(int32_t slot) noexcept;

    // An instruction whose 16-bit operand must hold `value`; false
    // (reported) when it cannot.
    bool EmitU16(uint8_t opcode, uint32_t value, OperandLimit limit);
    bool EmitU16U16(uint8_t opcode, uint32_t first, OperandLimit firstLimit, uint32_t second,
                    OperandLimit secondLimit);
    // A count that must stay within its limit (switch cases, on clauses).
    bool CheckCount(uint32_t value, OperandLimit limit);
    // A jump to a label, patched when the body ends.
    bool EmitJump(uint8_t opcode, int32_t label, const char* text);
    // Places a label at the current position.
    bool Place(int32_t label);

    // The class-reference index of a class, numbering it; -1 when the name
    // is no class.
    int32_t ClassIndex(const char* className);
    uint32_t StringIndex(const char* text);

    // An uncounted message, and false for the caller to return.
    bool Fail(const char* format, const char* argument = nullptr);
    // A counted error "file(line) : text" whose format ends in "line %d".
    bool Error(const char* format);
    // Whether the frame of the code being generated, with the deepest its
    // operand stack has gone so far, still fits a thread's stack; a
    // counted error naming `at` when it does not.
    bool FrameFits(int32_t at);

    CompilerState& state;
    SourceContext& source;
    GSSymbolTable& symbols;
    StringTable& strings;
    GSCClass* cls = nullptr;
    GSCFunction* function = nullptr;
    GSBytecode::CodeBuffer* code = nullptr;
    int32_t line = 0;
    LabelTable labels;
    // The signature of the function being generated; its storage serves
    // the next.
    std::string signature;

private:
    static void OnInstruction(void* context, uint32_t position);
    void StartCode(GSBytecode::CodeBuffer& buffer, int32_t temporaryBase, int32_t* temporaryCount);

    uint32_t temporariesTaken_ = 0;  // a bit per temporary
    int32_t temporaryBase_ = 0;
    int32_t* temporaryCount_ = nullptr;
    // By statement; the nodes stay where they are while their function is
    // generated, and so do the records.
    std::unordered_map<const SyntaxNode*, StatementRecord> records_;
};

}  // namespace GSCompiler
