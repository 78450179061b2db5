#include "gs/compiler/check/TreeLinks.h"

#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

SyntaxNode* ParentOf(const CheckerState& state) noexcept { return state.open.empty() ? nullptr : state.open.back(); }

bool IsChildOf(const CheckerState& state, const SyntaxNode& node, int32_t childIndex, int32_t category,
               int32_t kind, int32_t detail) noexcept
{
    const SyntaxNode* parent = ParentOf(state);
    return parent && parent->child[childIndex] == &node && parent->category == category && parent->kind == kind &&
           (detail < 0 || parent->detail == detail);
}

SyntaxNode* EnclosingStatement(const CheckerState& state, std::initializer_list<int32_t> kinds) noexcept
{
    for (auto it = state.open.rbegin(); it != state.open.rend(); ++it) {
        SyntaxNode* up = *it;
        if (up->category != kStatement)
            continue;
        for (int32_t kind : kinds) {
            if (up->kind == kind)
                return up;
        }
    }
    return nullptr;
}

bool WrapInCast(CheckerState& state, SyntaxNode*& link, int32_t type, const char* className)
{
    SyntaxNode* value = link;
    SyntaxNode* cast = state.context.NewNode(kExpression, kOperator, value->line, kOpCast);
    SyntaxNode* target = state.context.NewNode(kDeclaration, kType, value->line, type);
    SyntaxNode* name = className ? state.context.NewNode(kDeclaration, kName, value->line, kNoDetail) : nullptr;
    if (!cast || !target || (className && !name))
        return false;
    if (name) {
        name->value.text = className;
        target->child[0] = name;
    }
    target->className = className;
    cast->child[0] = value;
    cast->child[1] = target;
    cast->type = type;
    cast->className = className;
    cast->next = value->next;
    value->next = nullptr;
    link = cast;
    return true;
}

}  // namespace GSCompiler
