// The GS scanner and parser over arbitrary source bytes: every token is a
// known code on a line that never goes back, the parse ends with 0, 1 or 2,
// an accepted file has a tree whose nodes are all readable, and a failed
// one has none and one message.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"

using namespace GSCompiler;

namespace {

void CheckTokens(const char* text, uint32_t length)
{
    Scanner scanner(text, length);
    int32_t line = 1;
    for (int token; (token = scanner.Lex()) != Token::kEnd;) {
        FuzzCheck((token > 0 && token < 128) || (token >= Token::kBreak && token <= Token::kInvalid));
        FuzzCheck(scanner.Line() >= line);
        FuzzCheck(scanner.Text().data() >= text && scanner.Text().data() + scanner.Length() <= text + length);
        line = scanner.Line();
    }
}

// Visits every node once, without recursion.
size_t Walk(SyntaxNode* root)
{
    size_t count = 0;
    std::vector<SyntaxNode*> pending{root};
    while (!pending.empty()) {
        SyntaxNode* node = pending.back();
        pending.pop_back();
        for (; node; node = node->next) {
            ++count;
            FuzzCheck(node->category >= kDeclaration && node->category <= kExpression);
            FuzzCheck(node->type == kTypeNone);
            for (SyntaxNode* child : node->child) {
                if (child)
                    pending.push_back(child);
            }
        }
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const auto length = static_cast<uint32_t>(size);
    CheckTokens(text, length);

    CompileSession sink;
    SourceContext context;
    context.Init(nullptr, &sink);
    context.SetFileName("fuzz.gs");
    Scanner scanner(text, length);
    int result;
    {
        ParseScope scope(scanner, context);
        result = ParseSource();
    }
    FuzzCheck(result >= 0 && result <= 2);
    if (result == 0) {
        FuzzCheck(context.Declarations() != nullptr && sink.Count() == 0 && context.ErrorCount() == 0);
        FuzzCheck(Walk(context.Declarations()) > 0);
    } else {
        FuzzCheck(context.Declarations() == nullptr && sink.Count() == 1 && context.ErrorCount() == 1);
    }
    return 0;
}
