// The checks of statements: conditions, the links of break, continue,
// case, default and on to the statements that own them, return values,
// and the scopes of blocks.
#include <cstring>
#include <string>

#include "gs/compiler/check/Assignment.h"
#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/TreeLinks.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

namespace {

// The value of an expression list is that of its last expression.
SyntaxNode** LastLink(SyntaxNode*& head)
{
    SyntaxNode** link = &head;
    while (*link && (*link)->next)
        link = &(*link)->next;
    return link;
}

SyntaxNode* LastOf(SyntaxNode* head) { return head ? *LastLink(head) : nullptr; }

bool IsCondition(const SyntaxNode* condition)
{
    return condition && condition->type != kTypeVoid && condition->type != kTypeVoidArray &&
           condition->type != kTypeNone;
}

bool CheckCondition(CheckerState& state, SyntaxNode& node, SyntaxNode* condition, const char* format)
{
    if (IsCondition(LastOf(condition)))
        return true;
    return state.Error(condition ? condition->line : node.line, format);
}

void LinkToOwner(SyntaxNode& node, SyntaxNode& owner)
{
    node.value.statement = &owner;
    node.ownerLink = owner.ownerLink;
    owner.ownerLink = &node;
}

bool CheckSwitch(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode* value = LastOf(node.child[0]);
    const int32_t line = node.child[0] ? node.child[0]->line : node.line;
    bool hasCase = false;
    bool hasDefault = false;
    for (const SyntaxNode* s = node.child[1] ? node.child[1]->child[0] : nullptr; s; s = s->next) {
        if (s->category == kStatement) {
            hasCase = hasCase || s->kind == kCase;
            hasDefault = hasDefault || s->kind == kDefault;
        }
    }
    bool ok = true;
    if (!hasCase)
        ok = state.Error(line, "switch statement without case, line %d.");
    if (!hasDefault)
        ok = state.Error(line, "switch statement without default, line %d.");
    if (!value || value->type != kTypeInt)
        ok = state.Error(line, "switch expression not integral, line %d.");
    return ok;
}

bool CheckCase(CheckerState& state, SyntaxNode& node)
{
    node.type = kTypeInt;
    SyntaxNode* owner = EnclosingStatement(state, {kSwitch});
    if (!owner)
        return state.Error(node.line, "illegal case, line %d.");
    LinkToOwner(node, *owner);
    const SyntaxNode* value = node.child[0];
    if (!value || value->category != kExpression || value->kind != kConstant || value->detail != kConstInt)
        return state.Error(node.line, "case expression not constant or integral, line %d.");
    return true;
}

bool CheckDefault(CheckerState& state, SyntaxNode& node)
{
    SyntaxNode* owner = EnclosingStatement(state, {kSwitch});
    if (!owner)
        return state.Error(node.line, "illegal default, line %d.");
    if (owner->flags & kFlagHasDefault)
        return state.Error(node.line, "switch already has default, line %d.");
    owner->flags |= kFlagHasDefault;
    LinkToOwner(node, *owner);
    return true;
}

bool CheckJump(CheckerState& state, SyntaxNode& node)
{
    SyntaxNode* target = node.kind == kBreak ? EnclosingStatement(state, {kFor, kWhile, kSwitch, kWait})
                                             : EnclosingStatement(state, {kFor, kWhile, kWait});
    if (!target)
        return state.Error(node.line, node.kind == kBreak ? "illegal break, line %d." : "illegal continue, line %d.");
    node.value.statement = target;
    return true;
}

bool CheckReturn(CheckerState& state, SyntaxNode& node)
{
    const GSFunctionSymbol* function = state.currentFunction;
    if (!function)
        return state.InternalError();
    auto mismatch = [&] {
        const std::string expected = TypeName(function->type, function->returnClass ? function->returnClass : "");
        return state.Error(node.line, "return type mismatch, expecting %s, line %d.", expected.c_str());
    };
    if (!node.child[0])
        return function->type == kTypeVoid || mismatch();
    SyntaxNode** link = LastLink(node.child[0]);
    SyntaxNode& value = **link;
    const bool objectOrNull = (value.type == kTypeObject || value.type == kTypeNull) &&
                              (function->type == kTypeObject || function->type == kTypeNull);
    if (value.type != function->type && !objectOrNull)
        return mismatch();
    if (value.className && function->returnClass) {
        if (!DerivesFrom(state, value.className, function->returnClass))
            return state.Error(node.line, "cannot cast from object<%s> to object<%s>, line %d.", value.className,
                               function->returnClass);
        // A derived object comes back as the base it is returned as, so the
        // caller reads the base's fields where they are.
        if (std::strcmp(value.className, function->returnClass) != 0 &&
            !WrapInCast(state, *link, function->type, function->returnClass))
            return state.InternalError();
    }
    return true;
}

// The end of a function body: a void function returns there; any other
// must end with its own return.
bool FinishFunctionBody(CheckerState& state, SyntaxNode& body)
{
    const GSFunctionSymbol* function = state.currentFunction;
    if (!function)
        return state.InternalError();
    SyntaxNode* last = LastOf(body.child[0]);
    if (last && last->category == kStatement && last->kind == kReturn)
        return true;
    if (function->type != kTypeVoid) {
        const std::string expected = TypeName(function->type, function->returnClass ? function->returnClass : "");
        return state.Error(body.line, "expecting return type of %s, line %d.", expected.c_str());
    }
    SyntaxNode* implicit = state.context.NewNode(kStatement, kReturn, body.line, kNoDetail);
    if (!implicit)
        return state.InternalError();
    if (last)
        last->next = implicit;
    else
        body.child[0] = implicit;
    return true;
}

bool CheckOn(CheckerState& state, SyntaxNode& node)
{
    if (SyntaxNode* owner = EnclosingStatement(state, {kWait}))
        LinkToOwner(node, *owner);
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
        const SyntaxNode* name = node.child[i];
        if (!name || name->category != kExpression || name->kind != kConstant || name->detail != kConstString) {
            ok = state.Error(node.line,
                             "on statement requires string constant for major and minor message types, line %d");
            break;
        }
    }
    const SyntaxNode* target = node.child[2];
    if (target && (target->type != kTypeObject || !(target->flags & kFlagLValue)))
        ok = state.Error(node.line, "on statement requires object type for third parameter, line %d");
    return ok;
}

}  // namespace

bool EnterBlock(CheckerState& state, SyntaxNode& node)
{
    if (node.flags & kFlagFunctionBody)
        return true;
    if (state.symbols.OpenScope())
        return true;
    node.flags |= kFlagNoScope;
    return state.Error(node.line, "Blocks nested too deep, line %d.");
}

bool ExitStatement(CheckerState& state, SyntaxNode& node)
{
    switch (node.kind) {
    case kIf:
        return CheckCondition(state, node, node.child[0], "invalid if expression, line %d.");
    case kWhile:
        return CheckCondition(state, node, node.child[0], "invalid while expression, line %d.");
    case kFor:
        return !node.child[1] || CheckCondition(state, node, node.child[1], "invalid for expression, line %d.");
    case kSwitch:
        return CheckSwitch(state, node);
    case kCase:
        return CheckCase(state, node);
    case kDefault:
        return CheckDefault(state, node);
    case kBreak:
    case kContinue:
        return CheckJump(state, node);
    case kReturn:
        return CheckReturn(state, node);
    case kBlock: {
        // A block too deep for a scope of its own closes none.
        if (!(node.flags & kFlagNoScope))
            state.symbols.CloseScope();
        return (node.flags & kFlagFunctionBody) ? FinishFunctionBody(state, node) : true;
    }
    case kWait:
        if (!node.ownerLink)
            return state.Error(node.line, "wait statement must have at least 1 on statement, line %d.");
        return true;
    case kOn:
        return CheckOn(state, node);
    default:
        return true;
    }
}

}  // namespace GSCompiler
