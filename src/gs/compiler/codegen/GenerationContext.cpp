#include "gs/compiler/codegen/GenerationContext.h"

#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/StringTable.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/symbols/GSSymbolTable.h"
#include "gs/support/bytecode/CodeBuffer.h"

namespace GSCompiler {

namespace {

struct LimitInfo {
    uint32_t most;
    const char* what;
};

LimitInfo InfoOf(OperandLimit limit)
{
    switch (limit) {
    case OperandLimit::kStrings:
        return {0xFFFF, "strings"};
    case OperandLimit::kFrameSlots:
        return {0xFFFF, "frame slots"};
    case OperandLimit::kFields:
        return {0xFFFF, "fields"};
    case OperandLimit::kMethods:
        return {0xFFFF, "methods"};
    case OperandLimit::kClassReferences:
        return {0xFFFF, "class references"};
    case OperandLimit::kSwitchCases:
        return {0x7FFF, "cases in one switch"};
    case OperandLimit::kOnClauses:
        return {0x7FFF, "on statements in one wait"};
    }
    return {0, ""};
}

// The slots of a frame's record, above its locals and temporaries (the
// record's words n + 4 and s + n + 4).
constexpr int64_t kFrameRecordSlots = 4;

}  // namespace

GenerationContext::GenerationContext(CompilerState& compilerState, SourceContext& sourceContext)
    : state(compilerState), source(sourceContext), symbols(compilerState.Symbols()), strings(compilerState.Strings())
{
}

void GenerationContext::OnInstruction(void* context, uint32_t position)
{
    auto* self = static_cast<GenerationContext*>(context);
    if (self->function)
        self->function->AddLine(position, self->line);
}

void GenerationContext::StartCode(GSBytecode::CodeBuffer& buffer, int32_t temporaryBase, int32_t* temporaryCount)
{
    code = &buffer;
    labels.Release();
    if (!records_.empty())
        records_.clear();
    temporariesTaken_ = 0;
    temporaryBase_ = temporaryBase;
    temporaryCount_ = temporaryCount;
}

void GenerationContext::BeginFunction(GSCFunction& compiled)
{
    function = &compiled;
    GSFunctionSymbol& symbol = compiled.symbol;
    symbol.temporarySlots = 0;
    StartCode(compiled.code, symbol.argumentSlots + symbol.localSlots, &symbol.temporarySlots);
    compiled.code.SetLineHook(&OnInstruction, this, &line);
}

void GenerationContext::BeginInitialiser(GSCClass& compiled)
{
    function = nullptr;
    // The initialiser's frame holds "me" alone. Its code comes in pieces
    // (one per field declaration), so its temporary count carries over.
    StartCode(compiled.init, 1, &compiled.initTemporaries);
}

bool GenerationContext::EndCode()
{
    const bool resolved = code && labels.ResolveFixups(*code, &source) == 0;
    AbandonCode();
    return resolved;
}

void GenerationContext::AbandonCode()
{
    if (code)
        code->SetLineHook(nullptr, nullptr);
    labels.Release();
    if (!records_.empty())
        records_.clear();
    temporariesTaken_ = 0;
    function = nullptr;
    code = nullptr;
}

StatementRecord& GenerationContext::RecordOf(const SyntaxNode& statement) { return records_[&statement]; }

int32_t GenerationContext::TakeTemporary()
{
    for (int32_t i = 0; i < kTemporaries; ++i) {
        if (temporariesTaken_ & (1u << i))
            continue;
        temporariesTaken_ |= 1u << i;
        // The frame reserves slots up to the highest temporary taken.
        if (temporaryCount_ && *temporaryCount_ < i + 1)
            *temporaryCount_ = i + 1;
        return temporaryBase_ + i;
    }
    Error("Expression needs more than 8 temporaries, line %d.");
    return -1;
}

void GenerationContext::FreeTemporary(int32_t slot) noexcept
{
    const int32_t i = slot - temporaryBase_;
    if (i >= 0 && i < kTemporaries)
        temporariesTaken_ &= ~(1u << i);
}

bool GenerationContext::CheckCount(uint32_t value, OperandLimit limit)
{
    // Every limit holds at least this much.
    if (value <= 0x7FFF)
        return true;
    const LimitInfo info = InfoOf(limit);
    if (value <= info.most)
        return true;
    source.Report(true, false, line, "More than %u %s, line %d.", info.most, info.what, line);
    return false;
}

bool GenerationContext::EmitU16(uint8_t opcode, uint32_t value, OperandLimit limit)
{
    if (!CheckCount(value, limit))
        return false;
    code->EmitOpU16(opcode, static_cast<uint16_t>(value));
    return true;
}

bool GenerationContext::EmitU16U16(uint8_t opcode, uint32_t first, OperandLimit firstLimit, uint32_t second,
                                   OperandLimit secondLimit)
{
    if (!CheckCount(first, firstLimit) || !CheckCount(second, secondLimit))
        return false;
    code->EmitOpU16U16(opcode, static_cast<uint16_t>(first), static_cast<uint16_t>(second));
    return true;
}

bool GenerationContext::EmitJump(uint8_t opcode, int32_t label, const char* text)
{
    if (label < 0)
        return false;
    code->EmitOpU32(opcode, 0);
    labels.AddFixup(code->Position() - 4, label, text, line);
    return true;
}

bool GenerationContext::Place(int32_t label) { return labels.DefineLabel(label, code->Position()); }

int32_t GenerationContext::ClassIndex(const char* className)
{
    GSClassSymbol* cls = className ? symbols.FindClass(className) : nullptr;
    return cls ? cls->referenceIndex : -1;
}

uint32_t GenerationContext::StringIndex(const char* text) { return strings.Intern(text ? text : ""); }

bool GenerationContext::Fail(const char* format, const char* argument)
{
    if (argument)
        source.Message(format, argument);
    else
        source.Message("%s", format);
    return false;
}

bool GenerationContext::Error(const char* format)
{
    source.Report(true, false, line, format, line);
    return false;
}

bool GenerationContext::FrameFits(int32_t at)
{
    if (!code)
        return true;
    // As the loader counts it: the arguments after "me" are on the stack
    // at the call; the locals, temporaries, record and operand stack go
    // above them.
    const int64_t slots = int64_t(temporaryBase_) - 1 + (temporaryCount_ ? *temporaryCount_ : 0) +
                          kFrameRecordSlots + code->MaxDepth();
    if (slots <= GSBytecode::kThreadStackSlots)
        return true;
    source.Report(true, false, at, "Stack overflow; function needs more than %d stack slots, line %d.",
                  int(GSBytecode::kThreadStackSlots), at);
    return false;
}

}  // namespace GSCompiler
