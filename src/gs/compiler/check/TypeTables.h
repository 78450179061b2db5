// The two tables that type the language: the result type of an operator
// over its operand types, and which source types a target type accepts
// (assignment, initialisers, return values, arguments and casts). Type
// codes are those of SyntaxNode.h; kTypeNone (12) is also the result of
// an illegal combination.
#pragma once

#include <cstdint>

namespace GSCompiler {

// String, object, the value arrays and null hold references.
bool IsReferenceType(int32_t type) noexcept;
// A string or an array of values: what "[]", "[,]", ".size" and ".copy"
// take.
bool IsArrayLike(int32_t type) noexcept;

// The operators the tables type: the unary ones and those from "*" to "or".
bool IsTypedOperator(int32_t op) noexcept;
bool IsUnaryOperator(int32_t op) noexcept;
// Result of a unary operator over its operand's type.
int32_t UnaryResult(int32_t op, int32_t operand) noexcept;
// Result of a binary operator over its operands' types.
int32_t BinaryResult(int32_t op, int32_t left, int32_t right) noexcept;

// Whether a target of one type accepts a value of another (classes are
// checked apart).
bool Assignable(int32_t target, int32_t source) noexcept;

}  // namespace GSCompiler
