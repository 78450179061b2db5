#include "gs/compiler/check/Checker.h"

#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

namespace {

// Room for the walk: a push that would fill it ends the walk.
constexpr int kStackLimit = 128;

// The walk is bound by the latency of reading nodes one after the other;
// the node visited after a subtree is asked for while the subtree is
// walked.
inline void Prefetch(const SyntaxNode* node)
{
    if (node) {
        __builtin_prefetch(node);
        __builtin_prefetch(reinterpret_cast<const char*>(node) + sizeof(SyntaxNode) - 1);
    }
}

bool EnterVisit(CheckerState& state, SyntaxNode& node)
{
    switch (node.category) {
    case kDeclaration:
        switch (node.kind) {
        case kFunction:
        case kFunctionPrototype:
            return CheckFunction(state, node);
        case kClass:
            return CheckClass(state, node);
        case kVariableList:
            return CheckVariables(state, node);
        default:
            return true;
        }
    case kStatement:
        return node.kind == kBlock ? EnterBlock(state, node) : true;
    case kExpression:
        return true;
    default:
        // Nothing of a tree this walk cannot read is walked into.
        state.skipChildren = true;
        return state.InternalError();
    }
}

bool ExitVisit(CheckerState& state, SyntaxNode& node)
{
    switch (node.category) {
    case kDeclaration:
        switch (node.kind) {
        case kFunction:
            state.currentFunction = nullptr;
            state.symbols.SetCurrentFunction(nullptr);
            return true;
        case kClass:
            state.currentClass = nullptr;
            return true;
        case kType:
            return CheckTypeReference(state, node);
        default:
            return true;
        }
    case kStatement:
        return ExitStatement(state, node);
    case kExpression:
        return ExitExpression(state, node);
    default:
        return true;
    }
}

bool Abandon(CheckerState& state, size_t openBefore)
{
    state.open.resize(openBefore);
    return false;
}

}  // namespace

bool CheckNode(CheckerState& state, SyntaxNode* root)
{
    struct Entry {
        SyntaxNode* node;
        bool exit;
    };
    Entry stack[kStackLimit];
    int count = 0;
    bool ok = true;
    bool overflow = false;
    auto push = [&](SyntaxNode* node, bool exit) {
        if (count + 1 >= kStackLimit) {
            overflow = true;
            return;
        }
        stack[count++] = Entry{node, exit};
    };
    auto pushNext = [&](SyntaxNode& node) {
        if (node.next) {
            node.next->predecessor = &node;
            push(node.next, false);
        }
    };

    if (!root)
        return true;
    // A nested walk (an initialiser) sees the nodes its caller is in.
    const size_t openBefore = state.open.size();
    push(root, false);
    while (count > 0 && !overflow) {
        const Entry entry = stack[--count];
        SyntaxNode& node = *entry.node;
        if (count > 0)
            Prefetch(stack[count - 1].node);
        if (!entry.exit) {
            Prefetch(node.next);
            if (!(state.declarationsOnly && state.currentFunction))
                ok = EnterVisit(state, node) && ok;
            if (state.abort)
                return Abandon(state, openBefore);
            if (state.skipChildren) {
                state.skipChildren = false;
                pushNext(node);
                continue;
            }
            push(&node, true);
            state.open.push_back(&node);
            for (int i = 3; i >= 0; --i) {
                if (SyntaxNode* child = node.child[i]) {
                    child->predecessor = &node;
                    push(child, false);
                }
            }
        } else {
            state.open.pop_back();
            if (!state.declarationsOnly)
                ok = ExitVisit(state, node) && ok;
            if (state.abort)
                return Abandon(state, openBefore);
            pushNext(node);
        }
    }
    state.open.resize(openBefore);
    if (overflow) {
        state.context.Message("Stack overflow; code nested too deep.");
        state.context.AddErrors(1);
        return false;
    }
    return ok;
}

int32_t CheckFile(SourceContext& context, GSSymbolTable& symbols, bool isInclude)
{
    CheckerState state(context, symbols);
    state.declarationsOnly = isInclude;
    const bool ok = CheckNode(state, context.Declarations());
    // A walk that stopped early leaves its function's scopes open.
    while (symbols.ScopeDepth() > 0)
        symbols.CloseScope();
    symbols.SetCurrentFunction(nullptr);
    const int32_t errors = context.ErrorCount();
    return !ok && errors == 0 ? 1 : errors;
}

}  // namespace GSCompiler
