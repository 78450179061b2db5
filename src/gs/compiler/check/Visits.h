// The checker's visits, by what they check. Each returns false when it
// found a fault (reported already); some also set the state's abort or
// skip-children flags.
#pragma once

namespace GSCompiler {

struct CheckerState;
struct SyntaxNode;

// Declarations (DeclarationChecks.cpp).
bool CheckClass(CheckerState& state, SyntaxNode& node);
bool CheckFunction(CheckerState& state, SyntaxNode& node);
bool CheckVariables(CheckerState& state, SyntaxNode& node);
bool CheckTypeReference(CheckerState& state, SyntaxNode& node);

// Statements (StatementChecks.cpp).
bool EnterBlock(CheckerState& state, SyntaxNode& node);
bool ExitStatement(CheckerState& state, SyntaxNode& node);

// Expressions (ExpressionChecks.cpp, CallResolution.cpp).
bool ExitExpression(CheckerState& state, SyntaxNode& node);
bool CheckCall(CheckerState& state, SyntaxNode& node);

}  // namespace GSCompiler
