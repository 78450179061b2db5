#include "gs/compiler/check/Checker.h"

#include <vector>

#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"

namespace GSCompiler {

namespace {

// Room for the walk: a push that would fill it ends the walk. A left-deep
// sum or concatenation takes two entries a term; nothing else comes near.
constexpr size_t kStackLimit = size_t(1) << 20;
// What a walk starts with; it grows as deep trees need.
constexpr size_t kStackStart = 128;
// How deep a tree may nest, counted as the code generator recurses: a
// child one level below its parent, a call's arguments two (the checker
// may wrap each in a cast), siblings and a binary operator's left-deep
// chain (BinaryLeftChain) on the level of their first. An else-if chain
// nests a level a branch. Deeper nesting than this would overrun the
// native stack of the code generator.
constexpr uint32_t kNestingLimit = 4000;

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
    if (!root)
        return true;
    std::vector<WalkEntry>& stack = state.walk;
    // A nested walk (an initialiser) sees the nodes its caller is in, and
    // leaves its caller's steps where they are.
    const size_t openBefore = state.open.size();
    const size_t base = stack.size();
    if (stack.capacity() < base + kStackStart)
        stack.reserve(base + kStackStart);
    bool ok = true;
    bool overflow = false;
    auto push = [&](SyntaxNode* node, uint32_t nesting, bool exit) {
        if (stack.size() - base + 1 >= kStackLimit || nesting > kNestingLimit) {
            overflow = true;
            return;
        }
        stack.push_back(WalkEntry{node, nesting, exit});
    };
    auto pushNext = [&](SyntaxNode& node, uint32_t nesting) {
        if (node.next)
            push(node.next, nesting, false);
    };
    auto abandon = [&] {
        stack.resize(base);
        return Abandon(state, openBefore);
    };

    push(root, state.nesting, false);
    while (stack.size() > base && !overflow) {
        const WalkEntry entry = stack.back();
        stack.pop_back();
        SyntaxNode& node = *entry.node;
        state.nesting = entry.nesting;
        if (stack.size() > base)
            Prefetch(stack.back().node);
        if (entry.exit) {
            state.open.pop_back();
            if (!state.declarationsOnly)
                ok = ExitVisit(state, node) && ok;
            if (state.abort)
                return abandon();
            pushNext(node, entry.nesting);
            continue;
        }
        Prefetch(node.next);
        if (!(state.declarationsOnly && state.currentFunction))
            ok = EnterVisit(state, node) && ok;
        if (state.abort)
            return abandon();
        if (state.skipChildren) {
            state.skipChildren = false;
            pushNext(node, entry.nesting);
            continue;
        }
        if (!node.child[0] && !node.child[1] && !node.child[2] && !node.child[3]) {
            // A leaf is left at once, as its exit step would be next.
            if (!state.declarationsOnly)
                ok = ExitVisit(state, node) && ok;
            if (state.abort)
                return abandon();
            pushNext(node, entry.nesting);
            continue;
        }
        push(&node, entry.nesting, true);
        state.open.push_back(&node);
        const SyntaxNode* chain = BinaryLeftChain(node);
        const bool call = node.category == kExpression && node.kind == kCall;
        for (int i = 3; i >= 0; --i) {
            if (SyntaxNode* child = node.child[i]) {
                const uint32_t below = child == chain ? 0 : call && i > 0 ? 2 : 1;
                push(child, entry.nesting + below, false);
            }
        }
    }
    stack.resize(base);
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
