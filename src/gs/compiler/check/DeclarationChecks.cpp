// The checks of class, function and variable declarations, which enter
// what they declare into the symbol table, and of class names in types.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "gs/compiler/check/Assignment.h"
#include "gs/compiler/check/Checker.h"
#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/TreeLinks.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/symbols/BaseResolver.h"
#include "gs/compiler/types/Signature.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kIllegalClassSpecifiers = kFlagPublic | kFlagNative | kFlagThread | kFlagDefine;
constexpr uint32_t kIllegalFunctionSpecifiers = kFlagStatic | kFlagGame | kFlagDefine | kFlagSecured;
constexpr uint32_t kFieldSpecifiers = kFlagPublic | kFlagConstructor | kFlagDefine;
constexpr uint32_t kIllegalLocalSpecifiers = kFlagPublic | kFlagNative | kFlagStatic | kFlagFinal | kFlagThread |
                                             kFlagGame | kFlagDefine | kFlagSecured;

const char* NameOf(const SyntaxNode* node) { return node && node->value.text ? node->value.text : ""; }

int32_t LineOf(const SyntaxNode* node, const SyntaxNode& fallback) { return node ? node->line : fallback.line; }

// "object<%s> not declared" unless the type's class (if any) is a class.
bool CheckTypeClass(CheckerState& state, const SyntaxNode* type)
{
    if (!type)
        return true;
    const std::string_view cls = ClassOfTypeNode(*type);
    if (cls.empty() || state.symbols.FindClass(cls))
        return true;
    const std::string name(cls);
    return state.Error(type->line, "object<%s> not declared, line %d.", name.c_str());
}

// A copy of a type node's class that lives with the symbols.
const char* ClassCopy(CheckerState& state, const SyntaxNode* type)
{
    const std::string_view cls = type ? ClassOfTypeNode(*type) : std::string_view();
    return cls.empty() ? nullptr : state.symbols.CopyText(cls);
}

bool SameClass(const char* a, const char* b) { return (!a && !b) || (a && b && std::strcmp(a, b) == 0); }

int32_t ConstantTypeOf(int32_t type)
{
    switch (type) {
    case kTypeBool:
        return kConstBool;
    case kTypeInt:
        return kConstInt;
    case kTypeFloat:
        return kConstFloat;
    case kTypeString:
        return kConstString;
    default:
        return -1;
    }
}

int32_t TruncatedInt(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// A define constant takes the initialiser's value in the variable's own
// type, as the assignment would have converted it.
void StoreConstant(CheckerState& state, GSVariableSymbol& symbol, const SyntaxNode& value)
{
    const int32_t constantType = ConstantTypeOf(symbol.type);
    if (constantType < 0)
        return;
    symbol.constantType = constantType;
    symbol.constant.bits = 0;
    switch (constantType) {
    case kConstString:
        symbol.constant.text =
            value.detail == kConstString && value.value.text ? state.symbols.CopyText(value.value.text) : "";
        if (!symbol.constant.text)
            symbol.constant.text = "";
        break;
    case kConstFloat:
        if (value.detail == kConstFloat)
            symbol.constant.real = value.value.real;
        else
            symbol.constant.real = static_cast<float>(value.value.number);
        break;
    default:
        symbol.constant.number =
            value.detail == kConstFloat ? TruncatedInt(value.value.real) : value.value.number;
        break;
    }
}

// Enters a function's parameters into the scope the function opened, with
// frame slots from 1 (slot 0 is "me").
bool EnterParameters(CheckerState& state, SyntaxNode& function, GSFunctionSymbol& symbol)
{
    bool ok = true;
    int32_t slot = 1;
    for (SyntaxNode* p = function.child[2]; p; p = p->next, ++slot) {
        SyntaxNode* name = p->child[1];
        GSVariableSymbol* parameter = state.symbols.CreateVariableSymbol(NameOf(name));
        if (!parameter) {
            state.abort = true;
            return state.InternalError();
        }
        parameter->type = p->child[0] ? int32_t(p->child[0]->detail) : int32_t(kTypeNone);
        parameter->className = ClassCopy(state, p->child[0]);
        parameter->index = slot;
        if (name)
            name->index = slot;
        if (!state.symbols.Enter(*parameter)) {
            state.symbols.Destroy(parameter);
            ok = state.Error(LineOf(name, *p), "Variable %s already declared in this scope, line %d.", NameOf(name));
        }
    }
    symbol.argumentSlots = slot;
    return ok;
}

}  // namespace

bool CheckClass(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode* nameNode = node.child[0];
    const char* name = NameOf(nameNode);
    const int32_t line = LineOf(nameNode, node);
    if (node.flags & kIllegalClassSpecifiers) {
        state.abort = true;
        return state.Error(line, "Class has illegal declaration specifiers, line %d.");
    }
    if (state.symbols.FindGlobal(name)) {
        state.abort = true;
        return state.Error(line, "Class %s has already been declared, line %d.", name);
    }
    GSClassSymbol* cls = state.symbols.CreateClassSymbol(name);
    if (!cls || !state.symbols.Enter(*cls)) {
        state.symbols.Destroy(cls);
        state.abort = true;
        return state.InternalError();
    }
    cls->flags = node.flags & kSpecifierMask;
    state.currentClass = cls;
    for (const SyntaxNode* base = node.child[1]; base; base = base->next) {
        const char* baseName = state.symbols.CopyText(NameOf(base));
        if (!baseName) {
            state.abort = true;
            return state.InternalError();
        }
        cls->pending.push_back({baseName, base->line});
    }
    if (state.declarationsOnly)
        return true;
    return BaseResolver(state.symbols).Resolve(*cls);
}

bool CheckFunction(CheckerState& state, SyntaxNode& node)
{
    GSClassSymbol* cls = state.currentClass;
    if (!cls) {
        state.abort = true;
        return state.InternalError();
    }
    const SyntaxNode* nameNode = node.child[1];
    const int32_t line = LineOf(nameNode, node);
    const SyntaxNode* returnType = node.child[0];
    const uint32_t specifiers = node.flags & kSpecifierMask;
    const bool definition = node.kind == kFunction;
    bool ok = true;

    if ((specifiers & kIllegalFunctionSpecifiers) ||
        ((specifiers & kFlagNative) && (specifiers & kFlagThread)))
        ok = state.Error(line, "Function has illegal declaration specifiers, line %d.");

    if (!state.declarationsOnly) {
        ok = CheckTypeClass(state, returnType) && ok;
        for (const SyntaxNode* p = node.child[2]; p; p = p->next)
            ok = CheckTypeClass(state, p->child[0]) && ok;
    }

    const std::string signature = BuildSignature(node, cls->name ? cls->name : "");
    const std::string symbolName(SignatureSymbolName(signature));
    for (const GSClassSymbol::Base& base : cls->bases) {
        GSSymbol* inherited = base.symbol->FindOwnMember(symbolName.c_str());
        if (inherited && inherited->Is(kSymbolFunction)) {
            if (inherited->flags & kFlagFinal)
                ok = state.Error(line, "Cannot override final function, line %d.");
            break;
        }
    }

    const int32_t type = returnType ? int32_t(returnType->detail) : int32_t(kTypeNone);
    const char* returnClass = ClassCopy(state, returnType);
    GSFunctionSymbol* function = nullptr;
    GSSymbol* existing = cls->FindOwnMember(symbolName.c_str());
    if (existing) {
        if (!existing->Is(kSymbolFunction) || !(existing->flags & kSymbolNoBody)) {
            state.abort = true;
            return state.Error(line, "Function %s already declared, line %d.", symbolName.c_str());
        }
        function = static_cast<GSFunctionSymbol*>(existing);
        if (function->type != type || !SameClass(function->returnClass, returnClass)) {
            state.abort = true;
            return state.Error(line, "Function differs only by return type, line %d.");
        }
        if ((function->flags & kSpecifierMask) != specifiers)
            ok = state.Error(line, "Function specifiers differ from prototype, line %d.");
        function->flags &= ~kSpecifierMask;
    } else {
        function = state.symbols.CreateFunctionSymbol(symbolName);
        const char* text = function ? state.symbols.CopyText(signature) : nullptr;
        if (!text || !state.symbols.Enter(*function, cls)) {
            state.symbols.Destroy(function);
            state.abort = true;
            return state.InternalError();
        }
        function->signature = text;
        function->flags |= kSymbolNoBody;
    }

    function->type = type;
    function->returnClass = returnClass;
    function->flags |= specifiers;
    if (definition)
        function->flags &= ~kSymbolNoBody;
    if (specifiers & kFlagThread) {
        cls->flags |= kSymbolHasThreads;
        if (type != kTypeVoid)
            ok = state.Error(line, "thread function must return void, line %d.");
    }

    if (definition && !state.declarationsOnly) {
        state.currentFunction = function;
        state.symbols.SetCurrentFunction(function);
        function->localSlots = 0;
        state.symbols.OpenScope();
        ok = EnterParameters(state, node, *function) && ok;
    } else {
        int32_t parameters = 0;
        for (const SyntaxNode* p = node.child[2]; p; p = p->next)
            ++parameters;
        function->argumentSlots = 1 + parameters;
    }
    if (state.declarationsOnly)
        state.skipChildren = true;
    return ok;
}

bool CheckVariables(CheckerState& state, SyntaxNode& node)
{
    SyntaxNode* typeNode = node.child[0];
    const int32_t line = LineOf(typeNode, node);
    const bool field = (node.flags & kFlagMemberVariables) != 0;
    const uint32_t specifiers = node.flags & kSpecifierMask;
    const bool define = (specifiers & kFlagDefine) != 0;
    bool ok = CheckTypeClass(state, typeNode);

    if (field && (specifiers & ~kFieldSpecifiers))
        ok = state.Error(line, "member declaration has invalid specifiers, line %d.");
    else if (!field && (specifiers & kIllegalLocalSpecifiers))
        ok = state.Error(line, "variable declaration has illegal specifiers, line %d.");

    const int32_t type = typeNode ? int32_t(typeNode->detail) : int32_t(kTypeNone);
    const char* className = ClassCopy(state, typeNode);
    GSClassSymbol* cls = field ? state.currentClass : nullptr;
    GSFunctionSymbol* function = field ? nullptr : state.currentFunction;

    // Every declarator is entered before any initialiser is checked.
    for (SyntaxNode* d = node.child[1]; d; d = d->next) {
        SyntaxNode* name = d->child[0];
        GSVariableSymbol* symbol = state.symbols.CreateVariableSymbol(NameOf(name));
        if (!symbol) {
            state.abort = true;
            return state.InternalError();
        }
        symbol->type = type;
        symbol->className = className;
        symbol->flags = specifiers;
        if (function)
            symbol->index = function->argumentSlots + function->localSlots;
        if (!state.symbols.Enter(*symbol, cls)) {
            state.symbols.Destroy(symbol);
            symbol = nullptr;
            ok = state.Error(LineOf(name, *d), "Variable %s already declared in this scope, line %d.", NameOf(name));
        } else if (function) {
            ++function->localSlots;
        }
        if (name) {
            name->flags |= specifiers;
            name->index = !symbol ? -1 : cls ? GSSymbolTable::MemberSlot(*symbol, *cls) : symbol->index;
        }
    }

    for (SyntaxNode* d = node.child[1]; d; d = d->next) {
        SyntaxNode* value = d->child[1];
        const int32_t declaratorLine = LineOf(d->child[0], *d);
        // A declarator that clashed has no symbol of its own.
        const bool entered = d->child[0] && d->child[0]->index >= 0;
        if (!value) {
            if (define && entered)
                ok = state.Error(declaratorLine, "define variable must have a const assignment, line %d.");
            continue;
        }
        const bool outline = state.declarationsOnly;
        if (outline && !define)
            continue;
        // Constants get their values in included files too.
        state.declarationsOnly = false;
        // The value lies below the declarator, below the declaration: the
        // walk sees the declarator as its parent.
        const uint32_t nesting = state.nesting;
        state.nesting = nesting + 2;
        state.open.push_back(d);
        ok = CheckNode(state, value) && ok;
        state.open.pop_back();
        state.nesting = nesting;
        state.declarationsOnly = outline;
        if (state.abort)
            return false;
        value = d->child[1];
        if (!outline && !CheckAssignable(state, *value, type, className, declaratorLine)) {
            ok = false;
            continue;
        }
        if (!define)
            continue;
        if (value->category != kExpression || value->kind != kConstant) {
            ok = state.Error(declaratorLine, "define variable must have a const assignment, line %d.");
            continue;
        }
        GSSymbol* symbol = !entered ? nullptr
                           : cls    ? cls->FindOwnMember(NameOf(d->child[0]))
                                    : state.symbols.FindGlobal(NameOf(d->child[0]), state.symbols.ScopeDepth());
        if (symbol && symbol->Is(kSymbolVariable))
            StoreConstant(state, static_cast<GSVariableSymbol&>(*symbol), *value);
    }
    state.skipChildren = true;
    return ok;
}

bool CheckTypeReference(CheckerState& state, SyntaxNode& node)
{
    // The types of a function's return and parameters are checked with the
    // function, and the class of a new object by the new.
    const SyntaxNode* parent = ParentOf(state);
    if (parent && parent->category == kDeclaration &&
        (parent->kind == kFunction || parent->kind == kFunctionPrototype || parent->kind == kParameter))
        return true;
    if (node.detail == kTypeObject && IsChildOf(state, node, 0, kExpression, kOperator, kOpNew))
        return true;
    return CheckTypeClass(state, &node);
}

}  // namespace GSCompiler
