// Expressions: constants, names, the operators, indexing and ranges, size,
// isclass, new, and the conversions between types.
#include <cstring>

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
constexpr const char* kInternalLabel = "Internal label";

int32_t TypeOf(SyntaxNode* chain)
{
    const SyntaxNode* value = ValueOf(chain);
    return value ? value->type : kTypeNone;
}

bool SameClass(const char* a, const char* b) { return (!a && !b) || (a && b && std::strcmp(a, b) == 0); }

void PushInt(GenerationContext& ctx, int32_t value)
{
    if (value == 0)
        ctx.code->EmitOp(kPUSH0);
    else if (value == 1)
        ctx.code->EmitOp(kPUSH1);
    else
        ctx.code->EmitOpU32(kPUSHI, static_cast<uint32_t>(value));
}

bool GenerateConstant(GenerationContext& ctx, const SyntaxNode& node)
{
    switch (node.detail) {
    case kConstBool:
        if (node.value.number != 0 && node.value.number != 1)
            return ctx.Fail("Compiler error GEC");
        PushInt(ctx, node.value.number);
        return true;
    case kConstInt:
        PushInt(ctx, node.value.number);
        return true;
    case kConstFloat:
        ctx.code->EmitPushFloat(node.value.real);
        return true;
    case kConstString:
        return ctx.EmitU16(kPUSHS, ctx.StringIndex(node.value.text), OperandLimit::kStrings);
    default:
        return ctx.Fail(kInternalError);
    }
}

bool GenerateName(GenerationContext& ctx, const SyntaxNode& node)
{
    // A class named as a value: its static instance.
    if ((node.flags & kFlagStatic) && !(node.flags & kFlagLValue)) {
        const int32_t cls = ctx.ClassIndex(node.className);
        return cls >= 0 ? ctx.EmitU16(kSTATIC, uint32_t(cls), OperandLimit::kClassReferences)
                        : ctx.Fail(kInternalError);
    }
    if (node.index < 0)
        return ctx.Fail(kInternalError);
    const bool reference = IsReferenceType(node.type);
    if (node.flags & kFlagLocal)
        return ctx.EmitU16(reference ? kLOADO : kLOAD, uint32_t(node.index), OperandLimit::kFrameSlots);
    return ctx.EmitU16(reference ? kGETMO : kGETM, uint32_t(node.index), OperandLimit::kFields);
}

// The value on the stack, of the given type, made a string.
bool ToText(GenerationContext& ctx, int32_t type)
{
    switch (type) {
    case kTypeBool:
        ctx.code->EmitOp(kBTOS);
        return true;
    case kTypeInt:
        ctx.code->EmitOp(kITOS);
        return true;
    case kTypeFloat:
        ctx.code->EmitOp(kFTOS);
        return true;
    case kTypeString:
    case kTypeNull:
        return true;
    default:
        return ctx.Fail("Compiler error GECTS");
    }
}

// An operand of an operator whose operands meet as `as`: strings
// convert by their own type, floats take ints (and bools) with ITOF.
bool GenerateOperand(GenerationContext& ctx, SyntaxNode* operand, int32_t as)
{
    if (!GenerateNode(ctx, operand))
        return false;
    const int32_t type = TypeOf(operand);
    if (as == kTypeString && type != kTypeString)
        return ToText(ctx, type);
    if (as == kTypeFloat && (type == kTypeInt || type == kTypeBool))
        ctx.code->EmitOp(kITOF);
    return true;
}

bool GenerateBinary(GenerationContext& ctx, SyntaxNode& node, int32_t as, uint8_t opcode)
{
    if (!GenerateOperand(ctx, node.child[0], as) || !GenerateOperand(ctx, node.child[1], as))
        return false;
    ctx.code->EmitOp(opcode);
    return true;
}

bool GenerateArithmetic(GenerationContext& ctx, SyntaxNode& node)
{
    const bool real = node.type == kTypeFloat;
    switch (node.detail) {
    case kOpMultiply:
        return GenerateBinary(ctx, node, node.type, real ? kFMUL : kMUL);
    case kOpDivide:
        return GenerateBinary(ctx, node, node.type, real ? kFDIV : kDIV);
    case kOpRemainder:
        return GenerateBinary(ctx, node, node.type, real ? kFMOD : kMOD);
    case kOpSubtract:
        return GenerateBinary(ctx, node, node.type, real ? kFSUB : kSUB);
    case kOpAdd:
        if (node.type == kTypeString)
            return GenerateBinary(ctx, node, kTypeString, kSCAT);
        return GenerateBinary(ctx, node, node.type, real ? kFADD : kADD);
    case kOpShiftLeft:
        return GenerateBinary(ctx, node, kTypeInt, kSHL);
    case kOpShiftRight:
        return GenerateBinary(ctx, node, kTypeInt, kSHR);
    case kOpBitAnd:
        return GenerateBinary(ctx, node, kTypeInt, kAND);
    case kOpBitXor:
        return GenerateBinary(ctx, node, kTypeInt, kXOR);
    case kOpBitOr:
        return GenerateBinary(ctx, node, kTypeInt, kOR);
    default:
        return ctx.Fail(kInternalError);
    }
}

bool GenerateComparison(GenerationContext& ctx, SyntaxNode& node)
{
    const int32_t left = TypeOf(node.child[0]);
    const int32_t right = TypeOf(node.child[1]);
    bool ok;
    if (left == kTypeString || right == kTypeString)
        ok = GenerateBinary(ctx, node, kTypeString, kSCMP);
    else if (left == kTypeFloat || right == kTypeFloat)
        ok = GenerateBinary(ctx, node, kTypeFloat, kFCMP);
    else if (left == kTypeObject || left == kTypeNull || (left >= kArrayOffset && left <= kTypeObjectArray))
        ok = GenerateBinary(ctx, node, left, kOCMP);
    else
        ok = GenerateBinary(ctx, node, kTypeInt, kICMP);
    if (!ok)
        return false;
    static const uint8_t kTests[] = {kLTZ, kGTZ, kLEZ, kGEZ, kEQZ, kNEZ};
    ctx.code->EmitOp(kTests[node.detail - kOpLess]);
    return true;
}

bool GenerateTruth(GenerationContext& ctx, SyntaxNode* operand)
{
    if (!GenerateNode(ctx, operand))
        return false;
    if (IsReferenceType(TypeOf(operand)))
        ctx.code->EmitOp(kNOTNULL);
    return true;
}

// "a and b" leaves a when it is false without running b; "or" when true.
bool GenerateLogical(GenerationContext& ctx, SyntaxNode& node)
{
    const int32_t end = ctx.labels.CreateLabel();
    if (!GenerateTruth(ctx, node.child[0]) ||
        !ctx.EmitJump(node.detail == kOpAnd ? kJZK : kJNZK, end, kInternalLabel))
        return false;
    ctx.code->EmitOp(kPOP);
    return GenerateTruth(ctx, node.child[1]) && ctx.Place(end);
}

bool GenerateUnary(GenerationContext& ctx, SyntaxNode& node)
{
    if (!GenerateNode(ctx, node.child[0]))
        return false;
    switch (node.detail) {
    case kOpPlus:
        return true;
    case kOpMinus:
        if (node.type == kTypeInt)
            ctx.code->EmitOp(kNEG);
        else if (node.type == kTypeFloat)
            ctx.code->EmitOp(kFNEG);
        else
            return ctx.Fail("Compiler error GEOUM");
        return true;
    case kOpNot: {
        const int32_t type = TypeOf(node.child[0]);
        ctx.code->EmitOp(type == kTypeFloat ? kFEQZ : IsReferenceType(type) ? kISNULL : kEQZ);
        return true;
    }
    case kOpComplement:
        ctx.code->EmitOp(kNOT);
        return true;
    default:
        return ctx.Fail(kInternalError);
    }
}

bool GenerateIndex(GenerationContext& ctx, SyntaxNode& node)
{
    if (!GenerateNode(ctx, node.child[0]) || !GenerateNode(ctx, node.child[1]))
        return false;
    if (TypeOf(node.child[0]) == kTypeString)
        ctx.code->EmitOp(kSGETC);
    else
        ctx.code->EmitOp(IsReferenceType(node.type) ? kAGETO : kAGET);
    return true;
}

// The container, then the second bound, then the first on top; a bound
// left out is -1.
bool GenerateRangeOperands(GenerationContext& ctx, SyntaxNode& node)
{
    if (!GenerateNode(ctx, node.child[0]))
        return false;
    for (SyntaxNode* bound : {node.child[2], node.child[1]}) {
        if (!bound)
            ctx.code->EmitOpU32(kPUSHI, 0xFFFFFFFF);
        else if (!GenerateNode(ctx, bound))
            return false;
    }
    return true;
}

bool GenerateRange(GenerationContext& ctx, SyntaxNode& node)
{
    if (!GenerateRangeOperands(ctx, node))
        return false;
    ctx.code->EmitOp(TypeOf(node.child[0]) == kTypeString ? kSGETR : kRGETO);
    return true;
}

bool GenerateNew(GenerationContext& ctx, SyntaxNode& node)
{
    switch (node.type) {
    case kTypeString:
        ctx.code->EmitOp(kNEWSTR);
        return true;
    case kTypeObject: {
        const int32_t cls = ctx.ClassIndex(node.className);
        return cls >= 0 ? ctx.EmitU16(kNEWOBJ, uint32_t(cls), OperandLimit::kClassReferences)
                        : ctx.Fail(kInternalError);
    }
    default:
        break;
    }
    if (node.type < kTypeBoolArray || node.type > kTypeObjectArray)
        return ctx.Fail(kInternalError);
    if (!GenerateNode(ctx, node.child[1]))
        return false;
    // string[] and object[] hold references.
    ctx.code->EmitOp(node.type >= kTypeString + kArrayOffset ? kNEWARRO : kNEWARR);
    return true;
}

bool GenerateMember(GenerationContext& ctx, SyntaxNode& node)
{
    if (node.index < 0)
        return ctx.Fail(kInternalError);
    return GenerateNode(ctx, node.child[0]) &&
           ctx.EmitU16(IsReferenceType(node.type) ? kGETFO : kGETF, uint32_t(node.index), OperandLimit::kFields);
}

bool GenerateOperator(GenerationContext& ctx, SyntaxNode& node)
{
    switch (node.detail) {
    case kOpMember:
        return GenerateMember(ctx, node);
    case kOpPlus:
    case kOpMinus:
    case kOpNot:
    case kOpComplement:
        return GenerateUnary(ctx, node);
    case kOpPostDec:
    case kOpPostInc:
    case kOpPreDec:
    case kOpPreInc:
        return GenerateStep(ctx, node);
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
    case kOpEqual:
    case kOpNotEqual:
        return GenerateComparison(ctx, node);
    case kOpAnd:
    case kOpOr:
        return GenerateLogical(ctx, node);
    case kOpIndex:
        return GenerateIndex(ctx, node);
    case kOpRange:
        return GenerateRange(ctx, node);
    case kOpCast:
        return node.child[1] ? GenerateConverted(ctx, node.child[0], node.type, node.className)
                             : ctx.Fail(kInternalError);
    case kOpAssign:
        return GenerateAssignment(ctx, node);
    case kOpSize:
        if (!GenerateNode(ctx, node.child[0]))
            return false;
        ctx.code->EmitOp(TypeOf(node.child[0]) == kTypeString ? kSSIZE : kASIZE);
        return true;
    case kOpIsClass: {
        const int32_t cls = ctx.ClassIndex(node.child[1] ? node.child[1]->value.text : nullptr);
        if (cls < 0)
            return ctx.Fail(kInternalError);
        return GenerateNode(ctx, node.child[0]) &&
               ctx.EmitU16(kISCLASS, uint32_t(cls), OperandLimit::kClassReferences);
    }
    case kOpCopy:
        return GenerateCopy(ctx, node);
    case kOpNew:
        return GenerateNew(ctx, node);
    default:
        return GenerateArithmetic(ctx, node);
    }
}

}  // namespace

bool GenerateExpression(GenerationContext& ctx, SyntaxNode& node)
{
    switch (node.kind) {
    case kConstant:
        return GenerateConstant(ctx, node);
    case kNull:
        ctx.code->EmitOp(kPUSH0);
        return true;
    case kMe:
        return ctx.EmitU16(kLOADO, 0, OperandLimit::kFrameSlots);
    case kIdentifier:
        return GenerateName(ctx, node);
    case kCall:
        return GenerateCall(ctx, node);
    case kOperator:
        return GenerateOperator(ctx, node);
    default:
        return ctx.Fail(kInternalError);
    }
}

bool Convert(GenerationContext& ctx, int32_t from, const char* fromClass, int32_t to, const char* toClass)
{
    if (to == kTypeString)
        return ToText(ctx, from);
    if (to == kTypeFloat && (from == kTypeBool || from == kTypeInt)) {
        ctx.code->EmitOp(kITOF);
        return true;
    }
    if ((to == kTypeInt || to == kTypeBool) && from == kTypeFloat) {
        ctx.code->EmitOp(kFTOI);
        return true;
    }
    // An object stored as another class is cast to it, so the code that
    // takes it finds that class's fields where it looks for them.
    if (to == kTypeObject && from == kTypeObject && toClass && !SameClass(fromClass, toClass)) {
        const int32_t cls = ctx.ClassIndex(toClass);
        return cls >= 0 ? ctx.EmitU16(kCAST, uint32_t(cls), OperandLimit::kClassReferences)
                        : ctx.Fail(kInternalError);
    }
    return true;
}

bool GenerateConverted(GenerationContext& ctx, SyntaxNode* chain, int32_t to, const char* toClass)
{
    if (!GenerateNode(ctx, chain))
        return false;
    const SyntaxNode* value = ValueOf(chain);
    return value && Convert(ctx, value->type, value->className, to, toClass);
}

}  // namespace GSCompiler
