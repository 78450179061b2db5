// Parsing a text in memory, collecting the compile messages, and a compact
// text form of syntax trees for comparing them.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/parse/Parser.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/scan/Scanner.h"

namespace gstest {

inline std::vector<std::string> TakeLines(GSCompiler::CompileSession& sink)
{
    std::vector<std::string> lines;
    while (const char* line = sink.TakeLine())
        lines.push_back(line);
    return lines;
}

struct Parsed {
    std::unique_ptr<GSCompiler::CompileSession> sink = std::make_unique<GSCompiler::CompileSession>();
    std::unique_ptr<GSCompiler::SourceContext> context = std::make_unique<GSCompiler::SourceContext>();
    int result = -1;
    std::vector<std::string> messages;

    GSCompiler::SyntaxNode* Root() const { return context->Declarations(); }
};

// Parses `text` as the file "t.gs". `prepare` may change the context first.
template <typename Prepare>
Parsed Parse(const std::string& text, Prepare prepare)
{
    Parsed p;
    p.context->Init(nullptr, p.sink.get());
    p.context->SetFileName("t.gs");
    prepare(*p.context);
    GSCompiler::Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
    {
        GSCompiler::ParseScope scope(scanner, *p.context);
        p.result = GSCompiler::ParseSource();
    }
    p.messages = TakeLines(*p.sink);
    return p;
}

inline Parsed Parse(const std::string& text)
{
    return Parse(text, [](GSCompiler::SourceContext&) {});
}

inline const char* OperatorText(int32_t op)
{
    static const char* const names[] = {"post--", "post++", ".",  "u+", "u-", "!",  "~",     "pre--",   "pre++",
                                        "[,]",    "[]",     "cast", "*", "/",  "%",  "+",     "-",       "<<",
                                        ">>",     "<",      ">",    "<=", ">=", "==", "!=",   "&",       "^",
                                        "|",      "and",    "or",   "=",  "size", "isclass", "copy", "new"};
    return op >= 0 && op < int32_t(std::size(names)) ? names[op] : "?";
}

// Kind, then ":value" for names, identifiers and constants, "#detail" for
// types, "'flags" in hex when set, "@line" when asked, then the children in
// parentheses ("_" for none, trailing ones left out). Lists chained through
// `next` are joined with "; ".
inline std::string Tree(const GSCompiler::SyntaxNode* node, bool lines = false);

inline std::string One(const GSCompiler::SyntaxNode* n, bool lines)
{
    using namespace GSCompiler;
    static const char* const declarations[] = {"Function", "Prototype", "Include", "Class",  "Vars",
                                               "Declarator", "Type",     "Param",   "Name"};
    static const char* const statements[] = {"Return", "Break",   "Continue", "Goto",  "For",
                                             "While",  "Switch",  "If",       "Default", "Case",
                                             "Label",  "Block",   "Wait",     "On"};
    static const char* const expressions[] = {"Op", "Const", "Id", "Call", "Member", "Me", "Null"};
    std::string s;
    if (n->category == kDeclaration)
        s = declarations[n->kind];
    else if (n->category == kStatement)
        s = statements[n->kind];
    else
        s = expressions[n->kind];
    if (n->category == kExpression && n->kind == kOperator)
        s += OperatorText(n->detail);
    else if (n->category == kDeclaration && n->kind == kType)
        s += "#" + std::to_string(n->detail);
    if ((n->category == kDeclaration && n->kind == kName) ||
        (n->category == kExpression && (n->kind == kIdentifier || n->kind == kMemberName)))
        s += std::string(":") + (n->value.text ? n->value.text : "(null)");
    if (n->category == kExpression && n->kind == kConstant) {
        if (n->detail == kConstFloat)
            s += ":" + std::to_string(n->value.real);
        else if (n->detail == kConstString)
            s += std::string(":\"") + n->value.text + "\"";
        else
            s += ":" + std::to_string(n->value.number);
    }
    if (n->flags) {
        char flags[16];
        std::snprintf(flags, sizeof flags, "'%x", n->flags);
        s += flags;
    }
    if (lines)
        s += "@" + std::to_string(n->line);
    int last = 3;
    while (last >= 0 && !n->child[last])
        --last;
    if (last >= 0) {
        s += "(";
        for (int i = 0; i <= last; ++i) {
            if (i)
                s += ", ";
            s += n->child[i] ? Tree(n->child[i], lines) : "_";
        }
        s += ")";
    }
    return s;
}

inline std::string Tree(const GSCompiler::SyntaxNode* node, bool lines)
{
    std::string s;
    for (const GSCompiler::SyntaxNode* n = node; n; n = n->next) {
        if (!s.empty())
            s += "; ";
        s += One(n, lines);
    }
    return s;
}

}  // namespace gstest
