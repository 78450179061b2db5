// Resolving a call: the functions of that name and argument count in the
// callee's class (or, when it has none, in its bases) are the candidates;
// the first that takes every argument with the fewest conversions is
// called, and each argument whose type differs from its parameter's is
// wrapped in a cast to the parameter's type.
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "gs/compiler/check/Assignment.h"
#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/TreeLinks.h"
#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/check/Visits.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/symbols/BaseResolver.h"
#include "gs/compiler/types/Signature.h"

namespace GSCompiler {

namespace {

constexpr int32_t kMaxCandidates = 1024;

std::vector<ParsedType> ParametersOf(const char* signature)
{
    std::vector<ParsedType> parameters;
    if (!signature)
        return parameters;
    std::string type;
    int32_t cursor = -1;
    for (bool more = SignatureFirstParameter(signature, cursor, type); more;
         more = SignatureNextParameter(signature, cursor, type))
        parameters.push_back(ParseTypeName(type));
    return parameters;
}

// A class named "object" is no class at all.
std::string_view ClassOf(const char* name)
{
    return !name || std::strcmp(name, "object") == 0 ? std::string_view() : std::string_view(name);
}

bool Fits(CheckerState& state, const SyntaxNode& argument, const ParsedType& parameter)
{
    if (!Assignable(parameter.code, argument.type))
        return false;
    const std::string_view argumentClass = ClassOf(argument.className);
    const std::string_view parameterClass = ClassOf(parameter.className.c_str());
    if (argumentClass.empty() || parameterClass.empty())
        return true;
    const std::string a(argumentClass);
    return DerivesFrom(state, a.c_str(), parameter.className.c_str()) ||
           DerivesFrom(state, parameter.className.c_str(), a.c_str());
}

bool Differs(const SyntaxNode& argument, const ParsedType& parameter)
{
    return argument.type != parameter.code || ClassOf(argument.className) != ClassOf(parameter.className.c_str());
}

// Casts every argument that differs from its parameter to the parameter's
// type; with `report`, an argument that does not fit is an error.
bool ConvertArguments(CheckerState& state, SyntaxNode& call, const std::vector<ParsedType>& parameters, bool report)
{
    bool ok = true;
    size_t i = 0;
    for (SyntaxNode** link = &call.child[1]; *link; link = &(*link)->next, ++i) {
        SyntaxNode& argument = **link;
        if (i >= parameters.size()) {
            return state.Error(argument.line, "Error in expression, line %d.");
        }
        const ParsedType& parameter = parameters[i];
        if (report && !Fits(state, argument, parameter)) {
            ok = state.Error(argument.line, "Error in expression, line %d.");
            continue;
        }
        if (!Differs(argument, parameter))
            continue;
        const std::string_view cls = ClassOf(parameter.className.c_str());
        const char* className = cls.empty() ? nullptr : state.context.CopyText(cls);
        if ((!cls.empty() && !className) || !WrapInCast(state, *link, parameter.code, className))
            return state.InternalError();
    }
    if (i < parameters.size())
        return state.Error(call.line, "Error in expression, line %d.");
    return ok;
}

bool Unresolved(SyntaxNode& call)
{
    call.type = kTypeNone;
    call.className = nullptr;
    return false;
}

bool CheckInherited(CheckerState& state, SyntaxNode& call, bool throughObject)
{
    if (throughObject) {
        Unresolved(call);
        return state.Error(call.line, "'inherited' can only be used on current function, line %d.");
    }
    const GSFunctionSymbol* function = state.currentFunction;
    if (!function) {
        Unresolved(call);
        return state.Error(call.line, "internal compiler error while parsing 'inherited', line %d.");
    }
    if (function->flags & (kFlagNative | kFlagThread)) {
        Unresolved(call);
        return state.Error(call.line, "'inherited' can not be used on native or thread function, line %d.");
    }
    call.type = function->type;
    call.className = function->returnClass;
    if (state.currentClass)
        call.index = GSSymbolTable::MemberSlot(*function, *state.currentClass);
    return ConvertArguments(state, call, ParametersOf(function->signature), true);
}

}  // namespace

bool CheckCall(CheckerState& state, SyntaxNode& call)
{
    SyntaxNode* callee = call.child[0];
    const bool throughObject = callee && callee->category == kExpression && callee->kind == kOperator &&
                               callee->detail == kOpMember;
    const char* name = nullptr;
    GSClassSymbol* cls = nullptr;
    if (throughObject) {
        // A callee that failed its own check has been reported.
        if (callee->type == kTypeNone)
            return Unresolved(call);
        call.flags |= kFlagThroughObject;
        name = callee->child[1] ? callee->child[1]->value.text : nullptr;
        cls = callee->child[0]->className ? state.symbols.FindClass(callee->child[0]->className) : nullptr;
        if (!cls) {
            Unresolved(call);
            return state.InternalError();
        }
    } else if (callee && callee->category == kExpression && callee->kind == kIdentifier) {
        name = callee->value.text;
        cls = state.currentClass;
        if (!cls) {
            Unresolved(call);
            return state.InternalError();
        }
    } else {
        Unresolved(call);
        return state.Error(call.line, "Error in expression, line %d.");
    }
    if (!name)
        name = "";
    if (!state.declarationsOnly)
        BaseResolver(state.symbols).Resolve(*cls);

    int32_t argumentCount = 0;
    for (const SyntaxNode* a = call.child[1]; a; a = a->next)
        ++argumentCount;

    if (std::strcmp(name, "inherited") == 0)
        return CheckInherited(state, call, throughObject);

    std::array<GSFunctionSymbol*, kMaxCandidates> candidates;
    const int32_t count =
        state.symbols.FindFunctions(*cls, name, candidates.data(), kMaxCandidates, argumentCount, true);
    GSFunctionSymbol* chosen = nullptr;
    std::vector<ParsedType> chosenParameters;
    int32_t fewest = 0;
    int32_t exact = 0;
    for (int32_t c = 0; c < count; ++c) {
        std::vector<ParsedType> parameters = ParametersOf(candidates[c]->signature);
        if (int32_t(parameters.size()) != argumentCount)
            continue;
        bool viable = true;
        int32_t conversions = 0;
        size_t i = 0;
        for (const SyntaxNode* a = call.child[1]; a && viable; a = a->next, ++i) {
            viable = Fits(state, *a, parameters[i]);
            conversions += Differs(*a, parameters[i]) ? 1 : 0;
        }
        if (!viable)
            continue;
        if (conversions == 0)
            ++exact;
        if (!chosen || conversions < fewest) {
            chosen = candidates[c];
            chosenParameters = std::move(parameters);
            fewest = conversions;
        }
    }

    const char* className = cls->name ? cls->name : "";
    bool ok = true;
    if (exact > 1)
        ok = state.Error(call.line, "function call %s is ambiguous, line %d.", name);
    if (!chosen) {
        Unresolved(call);
        if (throughObject)
            return state.Error(call.line, "function %s not declared in class %s or derivative, line %d.", name,
                               className);
        return state.Error(call.line, "function %s not declared, line %d.", name);
    }
    if (throughObject && !(chosen->flags & kFlagPublic) && cls != state.currentClass)
        ok = state.Error(call.line, "function %s not public in object %s, line %d.", name, className);

    state.symbols.AddReference(*chosen);
    call.index = GSSymbolTable::MemberSlot(*chosen, *cls);
    call.flags |= chosen->flags & kSpecifierMask;
    if (chosen->owner && (chosen->owner->flags & (kFlagStatic | kFlagFinal)))
        call.flags |= kFlagFinal;
    call.type = chosen->type;
    call.className = chosen->returnClass;
    return ConvertArguments(state, call, chosenParameters, false) && ok;
}

}  // namespace GSCompiler
