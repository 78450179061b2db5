// Finding one's way up the tree from the node the checker's walk visits,
// and the nodes the checker inserts into it.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace GSCompiler {

struct CheckerState;
struct SyntaxNode;

// The node whose child (or a later sibling of whose child) the visited
// node is, or null at the root.
SyntaxNode* ParentOf(const CheckerState& state) noexcept;
// True when the visited node is the given child of a parent of that
// category and kind (and, for operators, of that operator code; -1 for
// any).
bool IsChildOf(const CheckerState& state, const SyntaxNode& node, int32_t childIndex, int32_t category,
               int32_t kind, int32_t detail = -1) noexcept;
// The nearest statement of one of the kinds that holds the node being
// visited among its children, at any depth; null when there is none.
SyntaxNode* EnclosingStatement(const CheckerState& state, std::initializer_list<int32_t> kinds) noexcept;

// Puts a cast to (type, class) between `link` and the expression it points
// to, keeping the expression's place in its sibling chain. False when no
// node could be made.
bool WrapInCast(CheckerState& state, SyntaxNode*& link, int32_t type, const char* className);

}  // namespace GSCompiler
