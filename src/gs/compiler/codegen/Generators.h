// The code generator's parts, by what they generate. Each returns false on
// a failure it has reported (or that a part below it has); generation then
// stops.
#pragma once

#include <cstdint>

namespace GSCompiler {

class GenerationContext;
struct SyntaxNode;

// Generates a node and each sibling after it; an expression whose value is
// discarded and not consumed is popped (CodeGenerator.cpp).
bool GenerateNode(GenerationContext& ctx, SyntaxNode* node);
// The last node of a sibling chain: the one whose value a chain leaves.
SyntaxNode* ValueOf(SyntaxNode* chain) noexcept;
// Classes, functions and variables (CodeGenerator.cpp).
bool GenerateDeclaration(GenerationContext& ctx, SyntaxNode& node);

// Statements (StatementGeneration.cpp, SwitchAndWait.cpp).
bool GenerateStatement(GenerationContext& ctx, SyntaxNode& node);
// A condition chain left as a truth value on the stack.
bool GenerateCondition(GenerationContext& ctx, SyntaxNode* condition);
bool GenerateSwitch(GenerationContext& ctx, SyntaxNode& node);
bool GenerateCase(GenerationContext& ctx, SyntaxNode& node);
bool GenerateWait(GenerationContext& ctx, SyntaxNode& node);
bool GenerateOn(GenerationContext& ctx, SyntaxNode& node);

// Expressions (ExpressionGeneration.cpp): one node's value on the stack.
bool GenerateExpression(GenerationContext& ctx, SyntaxNode& node);
// The value on the stack, of type `from`, made a value of type `to`.
bool Convert(GenerationContext& ctx, int32_t from, const char* fromClass, int32_t to, const char* toClass);
// A chain's value converted to a type.
bool GenerateConverted(GenerationContext& ctx, SyntaxNode* chain, int32_t to, const char* toClass);

// Assignments, copies and increments (StoreGeneration.cpp).
bool GenerateAssignment(GenerationContext& ctx, SyntaxNode& node);
bool GenerateCopy(GenerationContext& ctx, SyntaxNode& node);
bool GenerateStep(GenerationContext& ctx, SyntaxNode& node);
// After a chain's value, converted to a string and about to be stored: a
// copy of it when the text lives elsewhere (a variable, a field, a call's
// result), as every store of a string takes its own.
void CopySharedString(GenerationContext& ctx, SyntaxNode* chain);
// Stores the message an on statement received into its target.
bool GenerateMessageStore(GenerationContext& ctx, SyntaxNode& target);
// Stores the value on the stack into a local or a field of "me", popping it.
bool GenerateVariableStore(GenerationContext& ctx, const SyntaxNode& name, bool field, bool reference);

// Calls (CallGeneration.cpp).
bool GenerateCall(GenerationContext& ctx, SyntaxNode& node);

}  // namespace GSCompiler
