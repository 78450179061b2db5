// Finding one's way up a tree by the predecessor links the checker's walk
// sets, and the nodes the checker inserts into it.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace GSCompiler {

struct CheckerState;
struct SyntaxNode;

// The node whose child this node is (through any earlier siblings), or
// null at the root.
SyntaxNode* ParentOf(const SyntaxNode& node) noexcept;
// True when the node is the given child of a parent of that category and
// kind (and, for operators, of that operator code; -1 for any).
bool IsChildOf(const SyntaxNode& node, int32_t childIndex, int32_t category, int32_t kind,
               int32_t detail = -1) noexcept;
// The nearest statement of one of the kinds that holds the node being
// visited among its children, at any depth; null when there is none.
SyntaxNode* EnclosingStatement(const CheckerState& state, std::initializer_list<int32_t> kinds) noexcept;

// Puts a cast to (type, class) between `link` and the expression it points
// to, keeping the expression's place in its sibling chain. False when no
// node could be made.
bool WrapInCast(CheckerState& state, SyntaxNode*& link, int32_t type, const char* className);

}  // namespace GSCompiler
