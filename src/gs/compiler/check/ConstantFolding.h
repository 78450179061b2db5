// Folding an operator whose operands are all constants into one constant
// node (its children dropped). Values are 32-bit and int arithmetic wraps.
// What run time must decide stays unfolded: an int "/" or "%" by 0 or of
// -2147483648 by -1, a float "/" or "%" by 0.0, a string "+", and a
// comparison with a string.
#pragma once

#include <cstdint>

namespace GSCompiler {

struct SyntaxNode;

// Folds a typed operator node in place; false when it was left as it is.
bool FoldConstant(SyntaxNode& op) noexcept;

// The value type of a constant of the given constant type; kTypeNone for
// a number that is none.
int32_t TypeOfConstant(int32_t constantType) noexcept;

// Turns a node into a constant of the given constant type and value word.
void MakeConstant(SyntaxNode& node, int constantType, uint32_t bits) noexcept;

}  // namespace GSCompiler
