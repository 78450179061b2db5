// The GS checker on parsed programs: source bytes are scanned and parsed,
// and an accepted file is checked in full as the one file of a compile
// (no includes). Whatever the source, the check ends, closes every scope
// it opened, counts an error for every message but the internal ones, and
// leaves a tree whose nodes are all readable and that holds no cycle.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"
#include "gs/compiler/check/Checker.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

using namespace GSCompiler;

namespace {

// Visits every node, without recursion; a tree cannot hold more nodes than
// the parser and the checker could have made of the input.
void Walk(SyntaxNode* root, size_t limit)
{
    size_t count = 0;
    std::vector<SyntaxNode*> pending{root};
    while (!pending.empty()) {
        SyntaxNode* node = pending.back();
        pending.pop_back();
        for (; node; node = node->next) {
            FuzzCheck(++count <= limit);
            FuzzCheck(node->category >= kDeclaration && node->category <= kExpression);
            FuzzCheck(node->type >= kTypeVoid && node->type <= kTypeNull);
            for (SyntaxNode* child : node->child) {
                if (child)
                    pending.push_back(child);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    CompileSession sink;
    GSSymbolTable symbols;
    SourceContext context;
    context.Init(&symbols, &sink);
    context.SetFileName("fuzz.gs");
    Scanner scanner(reinterpret_cast<const char*>(data), static_cast<uint32_t>(size));
    int parsed;
    {
        ParseScope scope(scanner, context);
        parsed = ParseSource();
    }
    if (parsed != 0)
        return 0;
    GSDependentSymbol* file = symbols.CreateDependentSymbol("fuzz.gs");
    FuzzCheck(file && symbols.Enter(*file));
    symbols.SetCurrentFile(file);
    symbols.SetCurrentContext(&context);

    const int32_t errors = CheckFile(context, symbols, false);
    FuzzCheck(errors >= 0 && errors >= context.ErrorCount());
    FuzzCheck(symbols.ScopeDepth() == 0);
    // Counted errors each come with a message; a clean check says nothing.
    FuzzCheck(sink.Count() >= uint32_t(context.ErrorCount()));
    if (errors == 0)
        FuzzCheck(sink.Count() == 0);
    // Every node of the input is at most a few bytes of it, plus the casts
    // and returns the checker adds.
    Walk(context.Declarations(), 8 * size + 64);
    return 0;
}
