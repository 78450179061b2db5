// The checks that type expressions: constants, names, the operators of the
// type tables (folded when their operands are constants), members,
// indexing, casts, assignment, size, isclass, copy and new.
#include <string>

#include "gs/compiler/check/Assignment.h"
#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/ConstantFolding.h"
#include "gs/compiler/check/TreeLinks.h"
#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/symbols/BaseResolver.h"
#include "gs/compiler/types/TypeMatch.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

namespace {

bool Untyped(SyntaxNode& node)
{
    node.type = kTypeNone;
    node.className = nullptr;
    return false;
}

void TakeType(SyntaxNode& node, int32_t type, const char* className)
{
    node.type = type;
    node.className = type == kTypeObject || type == kTypeObjectArray ? className : nullptr;
}

// A name that stands for a define constant becomes that constant.
void ReplaceWithConstant(SyntaxNode& node, const GSVariableSymbol& symbol)
{
    MakeConstant(node, symbol.constantType, 0);
    node.value.bits = symbol.constant.bits;
}

bool IsDefine(const GSSymbol& symbol) { return symbol.Is(kSymbolVariable) && (symbol.flags & kFlagDefine); }

// A class named as a value.
bool IsStaticClassReference(const SyntaxNode& node)
{
    return node.category == kExpression && node.kind == kIdentifier && (node.flags & kFlagStatic) &&
           !(node.flags & kFlagLValue);
}

bool CheckIdentifier(CheckerState& state, SyntaxNode& node)
{
    // The class named in a type is no value.
    if (IsChildOf(state, node, 0, kDeclaration, kType))
        return true;
    const char* name = node.value.text ? node.value.text : "";
    GSSymbol* symbol = state.symbols.FindName(name, state.currentClass);
    const bool callName = IsChildOf(state, node, 0, kExpression, kCall);

    if (symbol && symbol->Is(kSymbolVariable)) {
        auto& variable = static_cast<GSVariableSymbol&>(*symbol);
        if (IsDefine(variable) && variable.constantType >= 0) {
            ReplaceWithConstant(node, variable);
            return true;
        }
        TakeType(node, variable.type, variable.className);
        node.flags |= variable.flags & kSpecifierMask;
        if (IsDefine(variable))
            return true;
        node.flags |= kFlagLValue;
        if (variable.owner && variable.owner->Is(kSymbolTable) && variable.scopeLevel > 0) {
            node.flags |= kFlagLocal;
            node.index = variable.index;
        } else if (state.currentClass) {
            node.index = GSSymbolTable::MemberSlot(variable, *state.currentClass);
        }
        return true;
    }
    if (symbol && symbol->Is(kSymbolClass)) {
        node.type = kTypeObject;
        node.className = symbol->name;
        node.flags |= kFlagStatic;
        if (!(symbol->flags & kFlagStatic) && !IsChildOf(state, node, 0, kExpression, kOperator, kOpMember))
            return state.Error(node.line, "class %s is not static, line %d.", name);
        return true;
    }
    if (callName)
        return true;
    return state.Error(node.line, "variable %s not declared, line %d.", name);
}

bool CheckTypedOperator(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode* a = node.child[0];
    const std::string_view op = OperatorName(node.detail);
    if (IsUnaryOperator(node.detail)) {
        const int32_t result = a ? UnaryResult(node.detail, a->type) : kTypeNone;
        if (result == kTypeNone) {
            Untyped(node);
            return state.Error(node.line, "illegal types for unary operand %s, line %d", op.data());
        }
        const bool step = node.detail == kOpPostDec || node.detail == kOpPostInc || node.detail == kOpPreDec ||
                          node.detail == kOpPreInc;
        if (step && !(a->flags & kFlagLValue)) {
            Untyped(node);
            return state.Error(node.line, "expression not an l-value for %s operator, line %d", op.data());
        }
        TakeType(node, result, nullptr);
    } else {
        const SyntaxNode* b = node.child[1];
        const int32_t result = a && b ? BinaryResult(node.detail, a->type, b->type) : kTypeNone;
        if (result == kTypeNone) {
            Untyped(node);
            return state.Error(node.line, "illegal types for operand %s, line %d", op.data());
        }
        TakeType(node, result, nullptr);
    }
    FoldConstant(node);
    return true;
}

bool CheckMember(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& object = *node.child[0];
    const char* member = node.child[1] && node.child[1]->value.text ? node.child[1]->value.text : "";
    if (!IsReferenceType(object.type)) {
        Untyped(node);
        return state.Error(node.line, ". operator cannot be used on a non-reference type, line %d.");
    }
    if (!object.className) {
        Untyped(node);
        return state.Error(node.line, "unknown object class for '.' operator, line %d.");
    }
    GSClassSymbol* cls = state.symbols.FindClass(object.className);
    if (!cls) {
        Untyped(node);
        return state.InternalError("Internal compiler error");
    }
    if (!state.declarationsOnly)
        BaseResolver(state.symbols).Resolve(*cls);
    const bool staticMisuse = IsStaticClassReference(object) && !(cls->flags & kFlagStatic);
    const char* className = cls->name ? cls->name : "";

    GSSymbol* found = cls->FindMember(member);
    if (!found) {
        if (staticMisuse) {
            Untyped(node);
            return state.Error(node.line, "%s is not a static class or variable within this class, line %d.",
                               className);
        }
        if (IsChildOf(state, node, 0, kExpression, kCall)) {
            ParentOf(state)->flags |= kFlagThroughObject;
            node.type = kTypeObject;
            node.className = cls->name;
            return true;
        }
        Untyped(node);
        return state.Error(node.line, "member %s does not exist in object %s, line %d.", member, className);
    }

    bool ok = true;
    if (!(found->flags & kFlagPublic) && cls != state.currentClass)
        ok = state.Error(node.line, "member %s not public in object %s, line %d.", member, className);
    if (IsDefine(*found) && static_cast<GSVariableSymbol*>(found)->constantType >= 0) {
        ReplaceWithConstant(node, static_cast<GSVariableSymbol&>(*found));
        return ok;
    }
    if (staticMisuse) {
        Untyped(node);
        return state.Error(node.line, "%s is not a static class or variable within this class, line %d.", className);
    }
    if (found->Is(kSymbolVariable)) {
        TakeType(node, found->type, static_cast<GSVariableSymbol*>(found)->className);
        node.index = GSSymbolTable::MemberSlot(*found, *cls);
        if (!IsDefine(*found))
            node.flags |= kFlagLValue;
    }
    return ok;
}

bool CheckIndex(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& array = *node.child[0];
    bool ok = true;
    if (!IsArrayLike(array.type)) {
        const std::string name = TypeNameOfNode(array);
        ok = state.Error(node.line, "%s not an array type for [] operator, line %d", name.c_str());
    }
    if (!node.child[1] || node.child[1]->type != kTypeInt)
        ok = state.Error(node.line, "index not integral for [] operator, line %d");
    if (!ok)
        return Untyped(node);
    if (array.type == kTypeString)
        TakeType(node, kTypeInt, nullptr);
    else
        TakeType(node, array.type - kArrayOffset, array.className);
    node.flags |= kFlagLValue;
    return true;
}

bool CheckRange(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& array = *node.child[0];
    bool ok = true;
    if (!IsArrayLike(array.type)) {
        const std::string name = TypeNameOfNode(array);
        ok = state.Error(node.line, "%s not an array type for [,] operator, line %d", name.c_str());
    }
    if (node.child[1] && node.child[1]->type != kTypeInt)
        ok = state.Error(node.line, "left index not integral for [,] operator, line %d");
    if (node.child[2] && node.child[2]->type != kTypeInt)
        ok = state.Error(node.line, "right index not integral for [,] operator, line %d");
    if (!ok)
        return Untyped(node);
    TakeType(node, array.type, array.className);
    node.flags |= kFlagLValue;
    return true;
}

bool CheckCast(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& value = *node.child[0];
    const SyntaxNode* target = node.child[1];
    const int32_t type = target ? int32_t(target->detail) : int32_t(kTypeNone);
    const std::string_view targetClassView = target ? ClassOfTypeNode(*target) : std::string_view();
    const char* targetClass = targetClassView.empty() ? nullptr : targetClassView.data();
    bool ok = Assignable(type, value.type);
    if (ok && value.className && targetClass)
        ok = DerivesFrom(state, value.className, targetClass) || DerivesFrom(state, targetClass, value.className);
    if (!ok) {
        Untyped(node);
        if (value.className && targetClass)
            return state.Error(node.line, "cannot cast from %s to %s, line %d.", value.className, targetClass);
        const std::string from = TypeNameOfNode(value);
        const std::string to = TypeName(type, targetClassView);
        return state.Error(node.line, "cannot cast from %s to %s, line %d.", from.c_str(), to.c_str());
    }
    TakeType(node, type, targetClass);
    return true;
}

bool CheckAssign(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& target = *node.child[0];
    if (!CheckAssignable(state, *node.child[1], target.type, target.className, node.line))
        return Untyped(node);
    if (!(target.flags & kFlagLValue)) {
        Untyped(node);
        return state.Error(node.line, "illegal l-value for assignment, line %d.");
    }
    TakeType(node, target.type, target.className);
    return true;
}

bool CheckSize(CheckerState& state, SyntaxNode& node)
{
    if (!IsArrayLike(node.child[0]->type)) {
        Untyped(node);
        return state.Error(node.line, ".size operator requires an array type, line %d.");
    }
    TakeType(node, kTypeInt, nullptr);
    return true;
}

bool CheckIsClass(CheckerState& state, SyntaxNode& node)
{
    bool ok = true;
    if (node.child[0]->type != kTypeObject)
        ok = state.Error(node.line, ".isclass operator requires an object type, line %d.");
    const char* name = node.child[1] && node.child[1]->value.text ? node.child[1]->value.text : "";
    if (!state.symbols.FindClass(name))
        ok = state.Error(node.line, "class %s not declared for .isclass operator, line %d.", name);
    if (!ok)
        return Untyped(node);
    TakeType(node, kTypeBool, nullptr);
    return true;
}

bool CheckCopy(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode& left = *node.child[0];
    const SyntaxNode& right = *node.child[1];
    bool ok = true;
    if (!IsArrayLike(left.type))
        ok = state.Error(node.line, ".copy operator requires an array type, line %d.");
    if (!IsArrayLike(right.type))
        ok = state.Error(node.line, ".copy expression must be an array type, line %d.");
    if (ok && !SameType(left, right))
        ok = state.Error(node.line, "left and right types incompatible for .copy operator, line %d.");
    if (!ok)
        return Untyped(node);
    TakeType(node, kTypeVoid, nullptr);
    return true;
}

bool CheckNew(CheckerState& state, SyntaxNode& node)
{
    const SyntaxNode* typeNode = node.child[0];
    const int32_t type = typeNode ? int32_t(typeNode->detail) : int32_t(kTypeNone);
    const std::string_view classView = typeNode ? ClassOfTypeNode(*typeNode) : std::string_view();
    const char* className = classView.empty() ? nullptr : classView.data();
    const bool array = type >= kTypeBoolArray && type <= kTypeObjectArray;
    bool ok = true;
    if (type != kTypeString && type != kTypeObject && !array) {
        const std::string name(TypeName(type));
        ok = state.Error(node.line, "cannot new type %s, line %d.", name.c_str());
    } else if ((type == kTypeObject || type == kTypeObjectArray) && !className) {
        ok = state.Error(node.line, "cannot new unnamed object, line %d.");
    }
    if (array && (!node.child[1] || node.child[1]->type != kTypeInt))
        ok = state.Error(node.line, "non-integral expression for new[], line %d.");
    if (node.child[2])
        ok = state.Error(node.line, "constructors not yet supported, line %d.");
    if (type == kTypeObject && className) {
        const GSClassSymbol* cls = state.symbols.FindClass(className);
        if (!cls)
            ok = state.Error(node.line, "cannot find class %s in this translation unit, line %d.", className);
        else if (cls->flags & (kFlagStatic | kFlagGame))
            ok = state.Error(node.line, "cannot new static or game class, line %d.");
    }
    if (!ok)
        return Untyped(node);
    TakeType(node, type, className);
    return true;
}

bool CheckOperator(CheckerState& state, SyntaxNode& node)
{
    switch (node.detail) {
    case kOpMember:
        return CheckMember(state, node);
    case kOpIndex:
        return CheckIndex(state, node);
    case kOpRange:
        return CheckRange(state, node);
    case kOpCast:
        return CheckCast(state, node);
    case kOpAssign:
        return CheckAssign(state, node);
    case kOpSize:
        return CheckSize(state, node);
    case kOpIsClass:
        return CheckIsClass(state, node);
    case kOpCopy:
        return CheckCopy(state, node);
    case kOpNew:
        return CheckNew(state, node);
    default:
        if (IsTypedOperator(node.detail))
            return CheckTypedOperator(state, node);
        return state.InternalError();
    }
}

}  // namespace

bool ExitExpression(CheckerState& state, SyntaxNode& node)
{
    switch (node.kind) {
    case kConstant:
        node.type = TypeOfConstant(node.detail);
        return true;
    case kNull:
        node.type = kTypeNull;
        return true;
    case kMe:
        if (!state.currentClass)
            return state.Error(node.line, "me keyword invalid in static, line %d.");
        node.type = kTypeObject;
        node.className = state.currentClass->name;
        return true;
    case kIdentifier:
        return CheckIdentifier(state, node);
    case kCall:
        return CheckCall(state, node);
    case kOperator:
        return CheckOperator(state, node);
    default:
        return true;
    }
}

}  // namespace GSCompiler
