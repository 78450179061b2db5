// Checking a text in memory as the file "t.gs" of its own compile, and a
// compact text form of checked expressions (kind, type, children).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/check/Checker.h"
#include "gs/compiler/symbols/GSSymbolTable.h"
#include "gs/compiler/types/TypeNames.h"

namespace gstest {

struct Checked {
    std::unique_ptr<GSCompiler::CompileSession> sink = std::make_unique<GSCompiler::CompileSession>();
    std::unique_ptr<GSCompiler::GSSymbolTable> symbols = std::make_unique<GSCompiler::GSSymbolTable>();
    std::unique_ptr<GSCompiler::SourceContext> context = std::make_unique<GSCompiler::SourceContext>();
    int parse = -1;
    int errors = -1;
    std::vector<std::string> messages;

    GSCompiler::SyntaxNode* Root() const { return context->Declarations(); }
};

// Parses `text` and, when it parses, checks it in full (or, for an
// include, its declarations only) with a fresh symbol table. `prepare` may
// change the tree (the context's declarations) before it is checked.
template <typename Prepare>
Checked CheckSource(const std::string& text, bool isInclude, Prepare prepare)
{
    using namespace GSCompiler;
    Checked c;
    c.context->Init(c.symbols.get(), c.sink.get());
    c.context->SetFileName("t.gs");
    Scanner scanner(text.data(), static_cast<uint32_t>(text.size()));
    {
        ParseScope scope(scanner, *c.context);
        c.parse = ParseSource();
    }
    if (c.parse == 0) {
        GSDependentSymbol* file = c.symbols->CreateDependentSymbol("t.gs");
        EXPECT_TRUE(file && c.symbols->Enter(*file));
        c.symbols->SetCurrentFile(file);
        c.symbols->SetCurrentContext(c.context.get());
        prepare(*c.context);
        c.errors = CheckFile(*c.context, *c.symbols, isInclude);
    }
    c.messages = TakeLines(*c.sink);
    return c;
}

inline Checked CheckSource(const std::string& text, bool isInclude = false)
{
    return CheckSource(text, isInclude, [](GSCompiler::SourceContext&) {});
}

// The function of that name in the last class that has one.
inline GSCompiler::SyntaxNode* FunctionNamed(GSCompiler::SyntaxNode* root, const char* name)
{
    using namespace GSCompiler;
    SyntaxNode* found = nullptr;
    for (SyntaxNode* cls = root; cls; cls = cls->next) {
        if (cls->kind != kClass)
            continue;
        for (SyntaxNode* m = cls->child[2]; m; m = m->next) {
            if ((m->kind == kFunction || m->kind == kFunctionPrototype) && m->child[1] &&
                std::strcmp(m->child[1]->value.text, name) == 0)
                found = m;
        }
    }
    return found;
}

// The statements of a function's body.
inline GSCompiler::SyntaxNode* BodyOf(GSCompiler::SyntaxNode* root, const char* name)
{
    GSCompiler::SyntaxNode* function = FunctionNamed(root, name);
    return function && function->child[3] ? function->child[3]->child[0] : nullptr;
}

// A checked expression: a constant as "type value", a name as
// "name:type", an operator as "op:type(children)", a call as
// "call:type(callee; arguments)", with "#index" where one is set; a Type
// node as "<type>".
inline std::string Typed(const GSCompiler::SyntaxNode* n)
{
    using namespace GSCompiler;
    if (!n)
        return "_";
    if (n->category == kDeclaration && n->kind == kType)
        return "<" + TypeNameOfTypeNode(*n) + ">";
    if (n->category == kStatement)
        return n->kind == kReturn ? "return(" + Typed(n->child[0]) + ")" : "statement";
    std::string type = TypeNameOfNode(*n);
    if (n->kind == kConstant) {
        switch (n->detail) {
        case kConstBool:
            return "bool " + std::to_string(n->value.number);
        case kConstInt:
            return "int " + std::to_string(n->value.number);
        case kConstFloat: {
            char text[32];
            std::snprintf(text, sizeof text, "float %g", double(n->value.real));
            return text;
        }
        default:
            return std::string("string \"") + n->value.text + "\"";
        }
    }
    std::string s;
    if (n->kind == kIdentifier || n->kind == kMemberName)
        s = std::string(n->value.text) + ":" + type;
    else if (n->kind == kOperator)
        s = std::string(OperatorText(n->detail)) + ":" + type;
    else if (n->kind == kCall)
        s = "call:" + type;
    else if (n->kind == kMe)
        s = "me:" + type;
    else
        s = "null";
    if (n->index || (n->kind == kCall && n->type != kTypeNone))
        s += "#" + std::to_string(n->index);
    if (n->kind == kCall) {
        s += "(" + Typed(n->child[0]);
        for (const SyntaxNode* a = n->child[1]; a; a = a->next)
            s += "; " + Typed(a);
        return s + ")";
    }
    int last = 3;
    while (last >= 0 && !n->child[last])
        --last;
    if (last >= 0) {
        s += "(";
        for (int i = 0; i <= last; ++i)
            s += (i ? ", " : "") + Typed(n->child[i]);
        s += ")";
    }
    return s;
}

// Typed() of each statement of a list, joined by "; ".
inline std::string TypedList(const GSCompiler::SyntaxNode* first)
{
    std::string s;
    for (const GSCompiler::SyntaxNode* n = first; n; n = n->next)
        s += (s.empty() ? "" : "; ") + Typed(n);
    return s;
}

}  // namespace gstest
