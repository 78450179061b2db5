#include "gs/compiler/check/TypeTables.h"

#include <array>

#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

namespace {

constexpr int32_t N = kTypeCount;
using Row = std::array<int8_t, N>;
using Square = std::array<Row, N>;

constexpr bool InRange(int32_t type) { return type >= 0 && type < N; }
constexpr bool IsScalarValue(int32_t t) { return t == kTypeBool || t == kTypeInt || t == kTypeFloat; }
constexpr bool IsValueArray(int32_t t) { return t >= kTypeBoolArray && t <= kTypeObjectArray; }

constexpr Square Fill(int8_t (*rule)(int32_t, int32_t))
{
    Square s{};
    for (int32_t l = 0; l < N; ++l)
        for (int32_t r = 0; r < N; ++r)
            s[l][r] = rule(l, r);
    return s;
}

constexpr Row FillRow(int8_t (*rule)(int32_t))
{
    Row row{};
    for (int32_t t = 0; t < N; ++t)
        row[t] = rule(t);
    return row;
}

// int and float: int for two ints, float otherwise.
constexpr int8_t Arithmetic(int32_t l, int32_t r)
{
    if (l == kTypeInt && r == kTypeInt)
        return kTypeInt;
    if ((l == kTypeInt || l == kTypeFloat) && (r == kTypeInt || r == kTypeFloat))
        return kTypeFloat;
    return kTypeNone;
}

constexpr int8_t Addition(int32_t l, int32_t r)
{
    if ((l == kTypeString && (IsScalarValue(r) || r == kTypeString)) || (IsScalarValue(l) && r == kTypeString))
        return kTypeString;
    return Arithmetic(l, r);
}

constexpr int8_t Integral(int32_t l, int32_t r) { return l == kTypeInt && r == kTypeInt ? kTypeInt : kTypeNone; }

constexpr bool Comparable(int32_t l, int32_t r)
{
    auto basic = [](int32_t t) { return IsScalarValue(t) || t == kTypeString; };
    if (basic(l) && basic(r))
        return true;
    if ((l == kTypeString && r == kTypeNull) || (l == kTypeNull && r == kTypeString))
        return true;
    if ((l == kTypeObject || l == kTypeNull) && (r == kTypeObject || r == kTypeNull))
        return true;
    if (IsValueArray(l) && (r == l || r == kTypeNull))
        return true;
    return l == kTypeNull && IsValueArray(r);
}

constexpr int8_t Comparison(int32_t l, int32_t r) { return Comparable(l, r) ? kTypeBool : kTypeNone; }

constexpr bool Truth(int32_t t) { return IsScalarValue(t) || t == kTypeString || t == kTypeObject || IsValueArray(t); }

constexpr int8_t Logical(int32_t l, int32_t r) { return Truth(l) && Truth(r) ? kTypeBool : kTypeNone; }

constexpr int8_t Numeric(int32_t t) { return t == kTypeInt || t == kTypeFloat ? t : kTypeNone; }
constexpr int8_t Not(int32_t t) { return Truth(t) ? kTypeBool : kTypeNone; }
constexpr int8_t Complement(int32_t t) { return t == kTypeInt ? kTypeInt : kTypeNone; }

constexpr int8_t Accepts(int32_t target, int32_t source)
{
    if (IsScalarValue(target))
        return IsScalarValue(source);
    if (target == kTypeString)
        return IsScalarValue(source) || source == kTypeString || source == kTypeNull;
    if (target == kTypeObject || IsValueArray(target))
        return source == target || source == kTypeNull;
    return false;
}

constexpr Square kArithmetic = Fill(Arithmetic);
constexpr Square kAddition = Fill(Addition);
constexpr Square kIntegral = Fill(Integral);
constexpr Square kComparison = Fill(Comparison);
constexpr Square kLogical = Fill(Logical);
constexpr Square kAssignment = Fill(Accepts);
constexpr Row kNumeric = FillRow(Numeric);
constexpr Row kNot = FillRow(Not);
constexpr Row kComplement = FillRow(Complement);

}  // namespace

bool IsReferenceType(int32_t type) noexcept
{
    return type == kTypeString || type == kTypeObject || type == kTypeNull || IsValueArray(type);
}

bool IsArrayLike(int32_t type) noexcept { return type == kTypeString || IsValueArray(type); }

bool IsUnaryOperator(int32_t op) noexcept
{
    return op == kOpPostDec || op == kOpPostInc || (op >= kOpPlus && op <= kOpPreInc);
}

bool IsTypedOperator(int32_t op) noexcept { return IsUnaryOperator(op) || (op >= kOpMultiply && op <= kOpOr); }

int32_t UnaryResult(int32_t op, int32_t operand) noexcept
{
    if (!InRange(operand))
        return kTypeNone;
    switch (op) {
    case kOpPostDec:
    case kOpPostInc:
    case kOpPreDec:
    case kOpPreInc:
    case kOpPlus:
    case kOpMinus:
        return kNumeric[operand];
    case kOpNot:
        return kNot[operand];
    case kOpComplement:
        return kComplement[operand];
    default:
        return kTypeNone;
    }
}

int32_t BinaryResult(int32_t op, int32_t left, int32_t right) noexcept
{
    if (!InRange(left) || !InRange(right))
        return kTypeNone;
    switch (op) {
    case kOpMultiply:
    case kOpDivide:
    case kOpRemainder:
    case kOpSubtract:
        return kArithmetic[left][right];
    case kOpAdd:
        return kAddition[left][right];
    case kOpShiftLeft:
    case kOpShiftRight:
    case kOpBitAnd:
    case kOpBitXor:
    case kOpBitOr:
        return kIntegral[left][right];
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
    case kOpEqual:
    case kOpNotEqual:
        return kComparison[left][right];
    case kOpAnd:
    case kOpOr:
        return kLogical[left][right];
    default:
        return kTypeNone;
    }
}

bool Assignable(int32_t target, int32_t source) noexcept
{
    return InRange(target) && InRange(source) && kAssignment[target][source] != 0;
}

}  // namespace GSCompiler
