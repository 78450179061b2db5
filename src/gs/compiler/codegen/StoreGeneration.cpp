// Storing into what an expression names: assignments, copies, increments
// and the message an on statement receives. A target's prefix (the object
// of a field, the container and index of an element, the container and
// bounds of a range) goes on the stack first, then the value, then the
// store that fits the target.
#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/Generators.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/types/TypeMatch.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

constexpr const char* kInternalError = "Internal compiler error.";

enum class TargetKind { kLocal, kMeField, kObjectField, kElement, kStringChar, kArrayRange, kStringRange };

struct Target {
    TargetKind kind;
    int32_t index;  // slot or field
    bool reference;
};

// The popping and the keeping store of each target kind, for plain and
// for reference values.
struct StoreOps {
    uint8_t pop, keep, popReference, keepReference;
};

StoreOps OpsOf(TargetKind kind)
{
    switch (kind) {
    case TargetKind::kLocal:
        return {kPOPL, kSTOREL, kPOPLO, kSTORELO};
    case TargetKind::kMeField:
        return {kPOPM, kSETM, kPOPMO, kSETMO};
    case TargetKind::kObjectField:
        return {kPOPF, kSETF, kPOPFO, kSETFO};
    case TargetKind::kElement:
        return {kAPOP, kASET, kAPOPO, kASETO};
    case TargetKind::kStringChar:
        return {kSPOPC, kSSETC, kSPOPC, kSSETC};
    case TargetKind::kArrayRange:
        return {kRPOPO, kRSETO, kRPOPO, kRSETO};
    case TargetKind::kStringRange:
        return {kSPOPR, kSSETR, kSPOPR, kSSETR};
    }
    return {};
}

bool IsStringTyped(SyntaxNode* chain)
{
    const SyntaxNode* value = ValueOf(chain);
    return value && value->type == kTypeString;
}

bool GeneratePrefix(GenerationContext& ctx, SyntaxNode& target, Target& out)
{
    out.reference = IsReferenceType(target.type);
    if (target.kind == kIdentifier && (target.flags & kFlagLValue)) {
        out.kind = (target.flags & kFlagLocal) ? TargetKind::kLocal : TargetKind::kMeField;
        out.index = target.index;
        return out.index >= 0 || ctx.Fail(kInternalError);
    }
    if (target.kind != kOperator)
        return ctx.Fail(kInternalError);
    switch (target.detail) {
    case kOpMember:
        out.kind = TargetKind::kObjectField;
        out.index = target.index;
        return (out.index >= 0 || ctx.Fail(kInternalError)) && GenerateNode(ctx, target.child[0]);
    case kOpIndex:
        out.kind = IsStringTyped(target.child[0]) ? TargetKind::kStringChar : TargetKind::kElement;
        out.index = -1;
        return GenerateNode(ctx, target.child[0]) && GenerateNode(ctx, target.child[1]);
    case kOpRange:
        out.kind = IsStringTyped(target.child[0]) ? TargetKind::kStringRange : TargetKind::kArrayRange;
        out.index = -1;
        if (!GenerateNode(ctx, target.child[0]))
            return false;
        for (SyntaxNode* bound : {target.child[2], target.child[1]}) {
            if (!bound)
                ctx.code->EmitOpU32(kPUSHI, 0xFFFFFFFF);
            else if (!GenerateNode(ctx, bound))
                return false;
        }
        return true;
    default:
        return ctx.Fail(kInternalError);
    }
}

bool EmitStore(GenerationContext& ctx, const Target& target, bool keep)
{
    const StoreOps ops = OpsOf(target.kind);
    const uint8_t opcode = target.reference ? (keep ? ops.keepReference : ops.popReference)
                                            : (keep ? ops.keep : ops.pop);
    switch (target.kind) {
    case TargetKind::kLocal:
        return ctx.EmitU16(opcode, uint32_t(target.index), OperandLimit::kFrameSlots);
    case TargetKind::kMeField:
    case TargetKind::kObjectField:
        return ctx.EmitU16(opcode, uint32_t(target.index), OperandLimit::kFields);
    default:
        ctx.code->EmitOp(opcode);
        return true;
    }
}

}  // namespace

void CopySharedString(GenerationContext& ctx, SyntaxNode* chain)
{
    // A string that lives somewhere else is copied, so the two places do not
    // share one text that either may change in place.
    const SyntaxNode* value = ValueOf(chain);
    if (value && value->type == kTypeString &&
        ((value->flags & kFlagLValue) || value->kind == kCall || (value->kind == kOperator && value->detail == kOpCast)))
        ctx.code->EmitOp(kSCOPY);
}

bool GenerateAssignment(GenerationContext& ctx, SyntaxNode& node)
{
    SyntaxNode* targetNode = node.child[0];
    Target target{};
    if (!targetNode || !GeneratePrefix(ctx, *targetNode, target) ||
        !GenerateConverted(ctx, node.child[1], targetNode->type, targetNode->className))
        return false;
    CopySharedString(ctx, node.child[1]);
    return EmitStore(ctx, target, !MarkValueConsumed(node));
}

bool GenerateCopy(GenerationContext& ctx, SyntaxNode& node)
{
    Target target{};
    if (!node.child[0] || !GeneratePrefix(ctx, *node.child[0], target) || !GenerateNode(ctx, node.child[1]))
        return false;
    ctx.code->EmitOp(IsStringTyped(node.child[0]) ? kSCOPY : kACOPY);
    return EmitStore(ctx, target, false);
}

bool GenerateStep(GenerationContext& ctx, SyntaxNode& node)
{
    SyntaxNode* operand = node.child[0];
    if (!operand)
        return ctx.Fail(kInternalError);
    const bool post = node.detail == kOpPostInc || node.detail == kOpPostDec;
    const bool up = node.detail == kOpPostInc || node.detail == kOpPreInc;
    const bool real = operand->type == kTypeFloat;
    const uint8_t step = real ? (up ? kFINC : kFDEC) : (up ? kINC : kDEC);
    const bool used = !MarkValueConsumed(node);
    GSBytecode::CodeBuffer& code = *ctx.code;

    if (operand->kind == kIdentifier) {
        // A variable is loaded, stepped and stored back; a used postfix
        // value is the copy left below.
        if (operand->index < 0)
            return ctx.Fail(kInternalError);
        const bool local = (operand->flags & kFlagLocal) != 0;
        const OperandLimit limit = local ? OperandLimit::kFrameSlots : OperandLimit::kFields;
        const uint32_t index = uint32_t(operand->index);
        if (!ctx.EmitU16(local ? kLOAD : kGETM, index, limit))
            return false;
        if (post && used)
            code.EmitOp(kDUP);
        code.EmitOp(step);
        const uint8_t store = (!post && used) ? (local ? kSTOREL : kSETM) : (local ? kPOPL : kPOPM);
        return ctx.EmitU16(store, index, limit);
    }

    if (operand->kind != kOperator || (operand->detail != kOpMember && operand->detail != kOpIndex))
        return ctx.Fail(kInternalError);
    // A field or an element: its place stays on the stack below the value
    // for the store; a used postfix value waits in a temporary meanwhile.
    const bool member = operand->detail == kOpMember;
    const bool text = !member && IsStringTyped(operand->child[0]);
    uint8_t pop, keep;
    if (member) {
        if (operand->index < 0 || !GenerateNode(ctx, operand->child[0]))
            return operand->index < 0 ? ctx.Fail(kInternalError) : false;
        code.EmitOp(kDUPO);
        if (!ctx.EmitU16(kGETF, uint32_t(operand->index), OperandLimit::kFields))
            return false;
        pop = kPOPF;
        keep = kSETF;
    } else {
        if (!GenerateNode(ctx, operand->child[0]) || !GenerateNode(ctx, operand->child[1]))
            return false;
        code.EmitOp(kDUP2);
        code.EmitOp(text ? kSGETC : kAGET);
        pop = text ? kSPOPC : kAPOP;
        keep = text ? kSSETC : kASET;
    }
    int32_t temporary = -1;
    if (post && used) {
        temporary = ctx.TakeTemporary();
        if (temporary < 0 || !ctx.EmitU16(kSTOREL, uint32_t(temporary), OperandLimit::kFrameSlots))
            return false;
    }
    code.EmitOp(step);
    const uint8_t store = (!post && used) ? keep : pop;
    if (member) {
        if (!ctx.EmitU16(store, uint32_t(operand->index), OperandLimit::kFields))
            return false;
    } else {
        code.EmitOp(store);
    }
    if (temporary < 0)
        return true;
    ctx.FreeTemporary(temporary);
    return ctx.EmitU16(kLOAD, uint32_t(temporary), OperandLimit::kFrameSlots);
}

bool GenerateMessageStore(GenerationContext& ctx, SyntaxNode& target)
{
    Target place{};
    if (target.kind == kOperator) {
        // The place's prefix goes below the message: the message waits in
        // a temporary while it is pushed.
        const int32_t temporary = ctx.TakeTemporary();
        if (temporary < 0 || !ctx.EmitU16(kPOPL, uint32_t(temporary), OperandLimit::kFrameSlots) ||
            !GeneratePrefix(ctx, target, place) ||
            !ctx.EmitU16(kLOAD, uint32_t(temporary), OperandLimit::kFrameSlots))
            return false;
        ctx.FreeTemporary(temporary);
    } else if (!GeneratePrefix(ctx, target, place)) {
        return false;
    }
    if (target.className) {
        const int32_t cls = ctx.ClassIndex(target.className);
        if (cls < 0 || !ctx.EmitU16(kCAST, uint32_t(cls), OperandLimit::kClassReferences))
            return cls < 0 ? ctx.Fail(kInternalError) : false;
    }
    return EmitStore(ctx, place, false);
}

bool GenerateVariableStore(GenerationContext& ctx, const SyntaxNode& name, bool field, bool reference)
{
    if (name.index < 0)
        return ctx.Fail(kInternalError);
    if (field)
        return ctx.EmitU16(reference ? kPOPMO : kPOPM, uint32_t(name.index), OperandLimit::kFields);
    return ctx.EmitU16(reference ? kPOPLO : kPOPL, uint32_t(name.index), OperandLimit::kFrameSlots);
}

}  // namespace GSCompiler
