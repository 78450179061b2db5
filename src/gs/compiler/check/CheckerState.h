// What one walk of the checker over a file's tree keeps: the file, its
// symbols, the walk's flags, and the function and class being checked.
#pragma once

#include <vector>

#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

namespace GSCompiler {

// One step of the checker's walk: a node to enter, or to leave once its
// children are done.
struct WalkEntry {
    SyntaxNode* node;
    uint32_t nesting;
    bool exit;
};

struct CheckerState {
    CheckerState(SourceContext& file, GSSymbolTable& table) : context(file), symbols(table) {}

    SourceContext& context;
    GSSymbolTable& symbols;
    // Stops the walk at once.
    bool abort = false;
    // An included file: its declarations are entered, its bodies skipped.
    bool declarationsOnly = false;
    // Set by a visit to keep the walk out of the node's children.
    bool skipChildren = false;
    // How deep the node being visited nests (Checker.cpp); a nested walk
    // of an initialiser starts below its declaration.
    uint32_t nesting = 0;
    GSFunctionSymbol* currentFunction = nullptr;
    GSClassSymbol* currentClass = nullptr;
    // The nodes whose children the walk is in, innermost last: the last is
    // the parent of the node being visited.
    std::vector<SyntaxNode*> open;
    // The walk's own stack, kept from one walk to the next (a nested walk of
    // an initialiser works above its caller's entries).
    std::vector<WalkEntry> walk;

    // Reports a counted error "file(line) : text"; every format ends in
    // "line %d", which gets the line again. False, for the visit to return.
    template <typename... Args>
    bool Error(int32_t line, const char* format, Args... args)
    {
        context.Report(true, false, line, format, args..., line);
        return false;
    }
    // An internal failure: an uncounted message.
    bool InternalError(const char* text = "Internal compiler error.")
    {
        context.Message("%s", text);
        return false;
    }
};

}  // namespace GSCompiler
