// Statements: returns, jumps and labels, blocks, if, while and for. Every
// jump goes through a label and a fix-up, so a forward jump is patched when
// its body ends.
#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/Generators.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

constexpr const char* kInternalError = "Internal compiler error.";
// The text of a jump to a label the generator places itself: never shown.
constexpr const char* kInternalLabel = "Internal label";

bool GenerateReturn(GenerationContext& ctx, SyntaxNode& node)
{
    if (!node.child[0]) {
        ctx.code->EmitOp(kRET);
        return true;
    }
    if (!GenerateNode(ctx, node.child[0]))
        return false;
    ctx.code->EmitOp(IsReferenceType(ValueOf(node.child[0])->type) ? kRETO : kRETV);
    return true;
}

// A jump to the break or continue label of the statement a break or
// continue belongs to.
bool GenerateLeave(GenerationContext& ctx, SyntaxNode& node)
{
    SyntaxNode* target = node.value.statement;
    if (!target)
        return ctx.Fail(kInternalError);
    const StatementRecord& record = ctx.RecordOf(*target);
    return node.kind == kBreak ? ctx.EmitJump(kJMP, record.breakLabel, "Break")
                               : ctx.EmitJump(kJMP, record.continueLabel, "Continue");
}

bool GenerateGoto(GenerationContext& ctx, SyntaxNode& node)
{
    const char* name = node.child[0] ? node.child[0]->value.text : nullptr;
    if (!name)
        return false;
    return ctx.EmitJump(kJMP, ctx.labels.FindOrCreateLabel(name), "no matching label");
}

bool GenerateLabel(GenerationContext& ctx, SyntaxNode& node)
{
    const char* name = node.child[0] ? node.child[0]->value.text : nullptr;
    // A label placed twice fails with no message of its own.
    return name && ctx.Place(ctx.labels.FindOrCreateLabel(name));
}

bool GenerateIf(GenerationContext& ctx, SyntaxNode& node)
{
    const int32_t otherwise = ctx.labels.CreateLabel();
    if (!GenerateCondition(ctx, node.child[0]) || !ctx.EmitJump(kJZ, otherwise, kInternalLabel) ||
        !GenerateNode(ctx, node.child[1]))
        return false;
    if (!node.child[2])
        return ctx.Place(otherwise);
    const int32_t end = ctx.labels.CreateLabel();
    return ctx.EmitJump(kJMP, end, kInternalLabel) && ctx.Place(otherwise) && GenerateNode(ctx, node.child[2]) &&
           ctx.Place(end);
}

bool GenerateWhile(GenerationContext& ctx, SyntaxNode& node)
{
    StatementRecord& record = ctx.RecordOf(node);
    record.continueLabel = ctx.labels.CreateLabel();
    record.breakLabel = ctx.labels.CreateLabel();
    const int32_t top = record.continueLabel;
    const int32_t end = record.breakLabel;
    return ctx.Place(top) && GenerateCondition(ctx, node.child[0]) && ctx.EmitJump(kJZ, end, kInternalLabel) &&
           GenerateNode(ctx, node.child[1]) && ctx.EmitJump(kJMP, top, kInternalLabel) && ctx.Place(end);
}

bool GenerateFor(GenerationContext& ctx, SyntaxNode& node)
{
    StatementRecord& record = ctx.RecordOf(node);
    record.continueLabel = ctx.labels.CreateLabel();
    record.breakLabel = ctx.labels.CreateLabel();
    const int32_t step = record.continueLabel;
    const int32_t end = record.breakLabel;
    const int32_t top = ctx.labels.CreateLabel();
    if (!GenerateNode(ctx, node.child[0]) || !ctx.Place(top))
        return false;
    if (SyntaxNode* condition = node.child[1]) {
        // The condition is written as an expression statement; its value
        // is the test, not a value to drop.
        ValueOf(condition)->flags &= ~uint32_t(kFlagValueDiscarded);
        if (!GenerateCondition(ctx, condition))
            return false;
    } else {
        ctx.code->EmitOp(kPUSH1);
    }
    return ctx.EmitJump(kJZ, end, kInternalLabel) && GenerateNode(ctx, node.child[2]) && ctx.Place(step) &&
           GenerateNode(ctx, node.child[3]) && ctx.EmitJump(kJMP, top, kInternalLabel) && ctx.Place(end);
}

}  // namespace

bool GenerateCondition(GenerationContext& ctx, SyntaxNode* condition)
{
    if (!condition)
        return ctx.Fail(kInternalError);
    if (!GenerateNode(ctx, condition))
        return false;
    if (IsReferenceType(ValueOf(condition)->type))
        ctx.code->EmitOp(kNOTNULL);
    return true;
}

bool GenerateStatement(GenerationContext& ctx, SyntaxNode& node)
{
    switch (node.kind) {
    case kReturn:
        return GenerateReturn(ctx, node);
    case kBreak:
    case kContinue:
        return GenerateLeave(ctx, node);
    case kGoto:
        return GenerateGoto(ctx, node);
    case kLabel:
        return GenerateLabel(ctx, node);
    case kBlock:
        return GenerateNode(ctx, node.child[0]);
    case kIf:
        return GenerateIf(ctx, node);
    case kWhile:
        return GenerateWhile(ctx, node);
    case kFor:
        return GenerateFor(ctx, node);
    case kSwitch:
        return GenerateSwitch(ctx, node);
    case kCase:
    case kDefault:
        return GenerateCase(ctx, node);
    case kWait:
        return GenerateWait(ctx, node);
    case kOn:
        return GenerateOn(ctx, node);
    default:
        return ctx.Fail(kInternalError);
    }
}

}  // namespace GSCompiler
