#include "gs/compiler/check/Assignment.h"

#include <string>

#include "gs/compiler/check/CheckerState.h"
#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/compiler/symbols/BaseResolver.h"
#include "gs/compiler/types/TypeNames.h"

namespace GSCompiler {

GSClassSymbol* ResolvedClass(CheckerState& state, const char* name)
{
    if (!name)
        return nullptr;
    GSClassSymbol* cls = state.symbols.FindClass(name);
    if (cls)
        BaseResolver(state.symbols).Resolve(*cls);
    return cls;
}

bool DerivesFrom(CheckerState& state, const char* className, const char* baseName)
{
    GSClassSymbol* cls = ResolvedClass(state, className);
    return cls && cls->FindBase(baseName);
}

bool CheckAssignable(CheckerState& state, const SyntaxNode& source, int32_t targetType, const char* targetClass,
                     int32_t line)
{
    if (!Assignable(targetType, source.type)) {
        const std::string from = TypeNameOfNode(source);
        const std::string to = TypeName(targetType, targetClass ? targetClass : "");
        return state.Error(line, "cannot cast from %s to %s, line %d.", from.c_str(), to.c_str());
    }
    if (source.className && targetClass) {
        if (!state.symbols.FindClass(source.className))
            return state.Error(line, "class %s not defined, line %d.", source.className);
        if (!DerivesFrom(state, source.className, targetClass))
            return state.Error(line, "cannot cast from object<%s> to object<%s>, line %d.", source.className,
                               targetClass);
    }
    return true;
}

}  // namespace GSCompiler
