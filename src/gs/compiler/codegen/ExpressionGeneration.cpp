// Expressions: constants, names, the operators, indexing and ranges, size,
// isclass, new, and the conversions between types.
#include <cstring>
#include <utility>
#include <vector>

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
    return value ? int32_t(value->type) : int32_t(kTypeNone);
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

// How a binary operator meets its operands: what each operand is made
// once it is on the stack, what comes between the two, and what ends it.
struct BinaryPlan {
    // A truth value (and, or): a reference becomes NOTNULL; otherwise
    // both operands become `as` (strings by their own type, floats take
    // ints and bools with ITOF).
    bool truth = false;
    int32_t as = kTypeInt;
    // After the right operand; for and/or the jump after the left one.
    uint8_t opcode = 0;
    // The sign test after a comparison's opcode.
    bool hasTest = false;
    uint8_t test = 0;
    // and/or: the label after the right operand.
    int32_t end = -1;
};

bool PlanArithmetic(GenerationContext& ctx, const SyntaxNode& node, BinaryPlan& plan)
{
    const bool real = node.type == kTypeFloat;
    plan.as = node.type;
    switch (node.detail) {
    case kOpMultiply:
        plan.opcode = real ? kFMUL : kMUL;
        return true;
    case kOpDivide:
        plan.opcode = real ? kFDIV : kDIV;
        return true;
    case kOpRemainder:
        plan.opcode = real ? kFMOD : kMOD;
        return true;
    case kOpSubtract:
        plan.opcode = real ? kFSUB : kSUB;
        return true;
    case kOpAdd:
        if (node.type == kTypeString) {
            plan.as = kTypeString;
            plan.opcode = kSCAT;
        } else {
            plan.opcode = real ? kFADD : kADD;
        }
        return true;
    case kOpShiftLeft:
        plan.opcode = kSHL;
        break;
    case kOpShiftRight:
        plan.opcode = kSHR;
        break;
    case kOpBitAnd:
        plan.opcode = kAND;
        break;
    case kOpBitXor:
        plan.opcode = kXOR;
        break;
    case kOpBitOr:
        plan.opcode = kOR;
        break;
    default:
        return ctx.Fail(kInternalError);
    }
    plan.as = kTypeInt;
    return true;
}

void PlanComparison(const SyntaxNode& node, BinaryPlan& plan)
{
    const int32_t left = TypeOf(node.child[0]);
    const int32_t right = TypeOf(node.child[1]);
    if (left == kTypeString || right == kTypeString) {
        plan.as = kTypeString;
        plan.opcode = kSCMP;
    } else if (left == kTypeFloat || right == kTypeFloat) {
        plan.as = kTypeFloat;
        plan.opcode = kFCMP;
    } else if (left == kTypeObject || left == kTypeNull || (left >= kArrayOffset && left <= kTypeObjectArray)) {
        plan.as = left;
        plan.opcode = kOCMP;
    } else {
        plan.as = kTypeInt;
        plan.opcode = kICMP;
    }
    static const uint8_t kTests[] = {kLTZ, kGTZ, kLEZ, kGEZ, kEQZ, kNEZ};
    plan.hasTest = true;
    plan.test = kTests[node.detail - kOpLess];
}

bool PlanBinary(GenerationContext& ctx, const SyntaxNode& node, BinaryPlan& plan)
{
    switch (node.detail) {
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
    case kOpEqual:
    case kOpNotEqual:
        PlanComparison(node, plan);
        return true;
    case kOpAnd:
    case kOpOr:
        // "a and b" decides on a when it is false without running b; "or"
        // when true.
        plan.truth = true;
        plan.opcode = node.detail == kOpAnd ? kJZK : kJNZK;
        plan.end = ctx.labels.CreateLabel();
        return true;
    default:
        return PlanArithmetic(ctx, node, plan);
    }
}

// An operand of the given type, just pushed, made what the plan needs.
bool MeetOperand(GenerationContext& ctx, const BinaryPlan& plan, int32_t type)
{
    if (plan.truth) {
        if (IsReferenceType(type))
            ctx.code->EmitOp(kNOTNULL);
        return true;
    }
    if (plan.as == kTypeString && type != kTypeString)
        return ToText(ctx, type);
    if (plan.as == kTypeFloat && (type == kTypeInt || type == kTypeBool))
        ctx.code->EmitOp(kITOF);
    return true;
}

// The right operand and the end of a binary operator whose left operand,
// made what the plan needs, is on the stack.
bool FinishBinary(GenerationContext& ctx, SyntaxNode& node, const BinaryPlan& plan)
{
    if (plan.truth) {
        if (!ctx.EmitJump(plan.opcode, plan.end, kInternalLabel))
            return false;
        ctx.code->EmitOp(kPOP);
    }
    if (!GenerateNode(ctx, node.child[1]) || !MeetOperand(ctx, plan, TypeOf(node.child[1])))
        return false;
    if (!plan.truth) {
        ctx.code->EmitOp(plan.opcode);
        if (plan.hasTest)
            ctx.code->EmitOp(plan.test);
        return true;
    }
    // The deciding operand is left as it is (an int 3, say): NEZ makes the
    // result the bool 0 or 1 that folding the same operator gives.
    if (!ctx.Place(plan.end))
        return false;
    ctx.code->EmitOp(kNEZ);
    return true;
}

// A binary operator, with the left-deep chain below it (BinaryLeftChain)
// walked down in a loop and generated from the innermost out: a text of
// thousands of terms nests no deeper than one of two.
bool GenerateBinary(GenerationContext& ctx, SyntaxNode& top)
{
    struct Step {
        SyntaxNode* node = nullptr;
        BinaryPlan plan;
    };
    // Most chains are a few terms long; a longer one goes on in the heap.
    constexpr size_t kNear = 8;
    Step near[kNear];
    std::vector<Step> far;
    size_t count = 0;
    auto at = [&](size_t i) -> Step& { return i < kNear ? near[i] : far[i - kNear]; };
    SyntaxNode* node = &top;
    for (;;) {
        BinaryPlan plan;
        if (!PlanBinary(ctx, *node, plan))
            return false;
        if (count < kNear)
            near[count] = Step{node, plan};
        else
            far.push_back(Step{node, plan});
        ++count;
        SyntaxNode* left = BinaryLeftChain(*node);
        if (!left)
            break;
        // As generating the left operand as a node of its own would.
        ctx.line = left->line;
        node = left;
    }
    SyntaxNode* first = at(count - 1).node->child[0];
    if (!GenerateNode(ctx, first))
        return false;
    int32_t type = TypeOf(first);
    for (size_t i = count; i-- > 0;) {
        const Step& step = at(i);
        if (!MeetOperand(ctx, step.plan, type) || !FinishBinary(ctx, *step.node, step.plan))
            return false;
        type = step.node->type;
    }
    return true;
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
        return IsBinaryOperator(node) ? GenerateBinary(ctx, node) : ctx.Fail(kInternalError);
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
