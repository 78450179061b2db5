// The semantic checker: walks a file's syntax tree after parsing, enters
// its declarations into the symbol table, types every expression, resolves
// names, fields and calls, links jump and label statements to the
// statements that own them, inserts the conversions and returns the code
// generator needs, folds constants, and reports every fault as a counted
// compile message.
#pragma once

#include <cstdint>

namespace GSCompiler {

class GSSymbolTable;
class SourceContext;
struct CheckerState;
struct SyntaxNode;

// Walks the tree from `root` (its sibling chain included) with an explicit
// stack, each node entered before its children and left after them. True
// when no visit failed.
bool CheckNode(CheckerState& state, SyntaxNode* root);

// Checks the file's declarations: in full, or for an included file only
// what it declares (its bodies are skipped). Returns the file's error
// count, at least 1 when a visit failed.
int32_t CheckFile(SourceContext& context, GSSymbolTable& symbols, bool isInclude);

}  // namespace GSCompiler
