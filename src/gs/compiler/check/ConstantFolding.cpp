#include "gs/compiler/check/ConstantFolding.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

namespace {

bool IsConstant(const SyntaxNode* node) noexcept
{
    return node && node->category == kExpression && node->kind == kConstant;
}

float AsFloat(const SyntaxNode& c) noexcept
{
    return c.detail == kConstFloat ? c.value.real : static_cast<float>(c.value.number);
}

uint32_t Word(const SyntaxNode& c) noexcept
{
    // A string constant's word is its text pointer: never 0.
    return c.detail == kConstString ? 1u : static_cast<uint32_t>(c.value.number);
}

uint32_t FloatBits(float f) noexcept { return std::bit_cast<uint32_t>(f); }

void MakeBool(SyntaxNode& node, bool truth) noexcept { MakeConstant(node, kConstBool, truth ? 1u : 0u); }

bool FoldUnary(SyntaxNode& op, const SyntaxNode& a) noexcept
{
    switch (op.detail) {
    case kOpPlus:
        if (a.detail != kConstInt && a.detail != kConstFloat)
            return false;
        MakeConstant(op, a.detail, static_cast<uint32_t>(a.value.number));
        return true;
    case kOpMinus:
        if (a.detail == kConstInt)
            MakeConstant(op, kConstInt, 0u - static_cast<uint32_t>(a.value.number));
        else if (a.detail == kConstFloat)
            MakeConstant(op, kConstFloat, FloatBits(-a.value.real));
        else
            return false;
        return true;
    case kOpNot:
        MakeBool(op, a.detail == kConstFloat ? a.value.real == 0.0f : Word(a) == 0);
        return true;
    case kOpComplement:
        if (a.detail != kConstInt)
            return false;
        MakeConstant(op, kConstInt, ~static_cast<uint32_t>(a.value.number));
        return true;
    default:
        return false;
    }
}

bool FoldArithmetic(SyntaxNode& op, const SyntaxNode& a, const SyntaxNode& b) noexcept
{
    if (a.detail == kConstString || b.detail == kConstString)
        return false;
    if (a.detail != kConstFloat && b.detail != kConstFloat) {
        const int32_t x = a.value.number;
        const int32_t y = b.value.number;
        const uint32_t ux = static_cast<uint32_t>(x);
        const uint32_t uy = static_cast<uint32_t>(y);
        uint32_t result;
        switch (op.detail) {
        case kOpMultiply:
            result = ux * uy;
            break;
        case kOpAdd:
            result = ux + uy;
            break;
        case kOpSubtract:
            result = ux - uy;
            break;
        case kOpDivide:
        case kOpRemainder:
            if (y == 0 || (x == std::numeric_limits<int32_t>::min() && y == -1))
                return false;
            result = static_cast<uint32_t>(op.detail == kOpDivide ? x / y : x % y);
            break;
        default:
            return false;
        }
        MakeConstant(op, kConstInt, result);
        return true;
    }
    const float x = AsFloat(a);
    const float y = AsFloat(b);
    float result;
    switch (op.detail) {
    case kOpMultiply:
        result = x * y;
        break;
    case kOpAdd:
        result = x + y;
        break;
    case kOpSubtract:
        result = x - y;
        break;
    case kOpDivide:
        if (y == 0.0f)
            return false;
        result = x / y;
        break;
    case kOpRemainder:
        if (y == 0.0f)
            return false;
        result = static_cast<float>(std::fmod(static_cast<double>(x), static_cast<double>(y)));
        break;
    default:
        return false;
    }
    MakeConstant(op, kConstFloat, FloatBits(result));
    return true;
}

bool FoldIntegral(SyntaxNode& op, const SyntaxNode& a, const SyntaxNode& b) noexcept
{
    if (a.detail != kConstInt || b.detail != kConstInt)
        return false;
    const int32_t x = a.value.number;
    const uint32_t ux = static_cast<uint32_t>(x);
    const uint32_t uy = static_cast<uint32_t>(b.value.number);
    uint32_t result;
    switch (op.detail) {
    case kOpShiftLeft:
        result = ux << (uy & 31);
        break;
    case kOpShiftRight:
        // Folded, the shift copies the sign.
        result = static_cast<uint32_t>(x >> (uy & 31));
        break;
    case kOpBitAnd:
        result = ux & uy;
        break;
    case kOpBitXor:
        result = ux ^ uy;
        break;
    default:
        result = ux | uy;
        break;
    }
    MakeConstant(op, kConstInt, result);
    return true;
}

bool FoldComparison(SyntaxNode& op, const SyntaxNode& a, const SyntaxNode& b) noexcept
{
    if (a.detail == kConstString || b.detail == kConstString)
        return false;
    int order;
    if (a.detail == kConstInt && b.detail == kConstInt) {
        order = a.value.number < b.value.number ? -1 : a.value.number > b.value.number ? 1 : 0;
    } else {
        const float x = AsFloat(a);
        const float y = AsFloat(b);
        if (std::isnan(x) || std::isnan(y)) {
            MakeBool(op, op.detail == kOpNotEqual);
            return true;
        }
        order = x < y ? -1 : x > y ? 1 : 0;
    }
    bool truth;
    switch (op.detail) {
    case kOpLess:
        truth = order < 0;
        break;
    case kOpGreater:
        truth = order > 0;
        break;
    case kOpLessEqual:
        truth = order <= 0;
        break;
    case kOpGreaterEqual:
        truth = order >= 0;
        break;
    case kOpEqual:
        truth = order == 0;
        break;
    default:
        truth = order != 0;
        break;
    }
    MakeBool(op, truth);
    return true;
}

}  // namespace

int32_t TypeOfConstant(int32_t constantType) noexcept
{
    switch (constantType) {
    case kConstBool:
        return kTypeBool;
    case kConstInt:
        return kTypeInt;
    case kConstFloat:
        return kTypeFloat;
    case kConstString:
        return kTypeString;
    default:
        return kTypeNone;
    }
}

void MakeConstant(SyntaxNode& node, int constantType, uint32_t bits) noexcept
{
    node.category = kExpression;
    node.kind = kConstant;
    node.detail = constantType;
    node.value.bits = 0;
    node.value.number = static_cast<int32_t>(bits);
    node.type = TypeOfConstant(constantType);
    node.className = nullptr;
    node.flags &= ~(kFlagLValue | kFlagLocal | kFlagStatic);
    node.index = 0;
    for (SyntaxNode*& child : node.child)
        child = nullptr;
}

bool FoldConstant(SyntaxNode& op) noexcept
{
    if (op.category != kExpression || op.kind != kOperator || !IsConstant(op.child[0]))
        return false;
    const SyntaxNode& a = *op.child[0];
    if (op.detail >= kOpPlus && op.detail <= kOpComplement)
        return FoldUnary(op, a);
    if (op.detail < kOpMultiply || op.detail > kOpOr || !IsConstant(op.child[1]))
        return false;
    const SyntaxNode& b = *op.child[1];
    switch (op.detail) {
    case kOpMultiply:
    case kOpDivide:
    case kOpRemainder:
    case kOpAdd:
    case kOpSubtract:
        return FoldArithmetic(op, a, b);
    case kOpShiftLeft:
    case kOpShiftRight:
    case kOpBitAnd:
    case kOpBitXor:
    case kOpBitOr:
        return FoldIntegral(op, a, b);
    case kOpAnd:
        MakeBool(op, Word(a) != 0 && Word(b) != 0);
        return true;
    case kOpOr:
        MakeBool(op, Word(a) != 0 || Word(b) != 0);
        return true;
    default:
        return FoldComparison(op, a, b);
    }
}

}  // namespace GSCompiler

