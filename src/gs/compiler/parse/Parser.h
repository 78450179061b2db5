// The GS parser: reads tokens from the current scanner and builds the
// current SourceContext's syntax tree. Returns 0 when the input was
// accepted (the tree is the context's declaration list), 1 after a syntax
// error, 2 when its stack overflowed; the message is already reported.
#pragma once

namespace GSCompiler {

class Scanner;
class SourceContext;

int ParseSource();

// Makes a scanner and a context current for one parse, and clears both
// when it goes.
class ParseScope {
public:
    ParseScope(Scanner& scanner, SourceContext& context);
    ~ParseScope();
    ParseScope(const ParseScope&) = delete;
    ParseScope& operator=(const ParseScope&) = delete;
};

}  // namespace GSCompiler
