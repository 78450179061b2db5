// The assignment rule, which initialisers, "=", define constants and casts
// share, and the class derivation it rests on.
#pragma once

#include <cstdint>

namespace GSCompiler {

class GSClassSymbol;
struct CheckerState;
struct SyntaxNode;

// The class of that name with its bases resolved (a failed resolution is
// reported once); null when no class has the name.
GSClassSymbol* ResolvedClass(CheckerState& state, const char* name);

// True when the class of that name is the base or derives from it.
bool DerivesFrom(CheckerState& state, const char* className, const char* baseName);

// Whether a value may be stored in a target of (type, class): the
// assignment table, then for two classes the source's derivation. Reports
// "cannot cast from ..." or "class ... not defined" when not.
bool CheckAssignable(CheckerState& state, const SyntaxNode& source, int32_t targetType, const char* targetClass,
                     int32_t line);

}  // namespace GSCompiler
