// The walk over the file's tree, and the declarations: classes with their
// initialisers, functions, and variables.
#include "gs/compiler/codegen/CodeGenerator.h"

#include <string>

#include "gs/compiler/check/TypeTables.h"
#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/Generators.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/parse/SourceContext.h"
#include "gs/compiler/symbols/GSSymbolTable.h"
#include "gs/compiler/types/Signature.h"
#include "gs/compiler/types/TypeNames.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSCompiler {

namespace {

constexpr const char* kInternalError = "Internal compiler error.";

const char* TextOf(const SyntaxNode* node) { return node && node->value.text ? node->value.text : nullptr; }

// The class named by a type node, as a text of the tree; null for none.
const char* ClassOfType(const SyntaxNode* type)
{
    return type && (type->detail == kTypeObject || type->detail == kTypeObjectArray) ? TextOf(type->child[0])
                                                                                       : nullptr;
}

// A statement-level expression whose value nobody takes is dropped.
void PopDiscarded(GenerationContext& ctx, SyntaxNode& node)
{
    if (!(node.flags & kFlagValueDiscarded) || (node.flags & kFlagValueConsumed) || node.type == kTypeVoid ||
        node.type == kTypeNone)
        return;
    ctx.code->EmitOp(IsReferenceType(node.type) ? GSBytecode::kPOPO : GSBytecode::kPOP);
}

bool GenerateClass(GenerationContext& ctx, SyntaxNode& node)
{
    GSSymbol* symbol = ctx.symbols.FindGlobal(TextOf(node.child[0]) ? TextOf(node.child[0]) : "", 0);
    if (!symbol || !symbol->Is(kSymbolClass))
        return ctx.Fail(kInternalError);
    auto compiled = std::make_unique<GSCClass>(static_cast<GSClassSymbol&>(*symbol));
    GSCClass& cls = *compiled;
    ctx.state.Classes().push_back(std::move(compiled));
    ctx.cls = &cls;
    if (!GenerateNode(ctx, node.child[2]))
        return false;
    if (cls.init.Size() > 0)
        cls.init.EmitOp(GSBytecode::kRET);
    ctx.cls = nullptr;
    return true;
}

// The nodes of a function lie together, built after those of the member
// before it; the tree is far larger than the caches, and was last read by
// the checker long before, so a walk that meets them one by one waits on
// memory for nearly every node. The next member's nodes are asked for while
// this one is generated. A prefetch never faults, whatever the address.
void PrefetchNextMember(const SyntaxNode& node)
{
    constexpr uintptr_t kMostBytes = 64 * 1024;
    constexpr uintptr_t kLine = 64;
    const auto from = reinterpret_cast<uintptr_t>(&node + 1);
    const auto to = reinterpret_cast<uintptr_t>(node.next + 1);
    if (!node.next || to <= from || to - from > kMostBytes)
        return;
    for (uintptr_t at = from & ~(kLine - 1); at < to; at += kLine)
        __builtin_prefetch(reinterpret_cast<const void*>(at));
}

bool GenerateFunction(GenerationContext& ctx, SyntaxNode& node)
{
    PrefetchNextMember(node);
    GSCClass* cls = ctx.cls;
    if (!cls)
        return ctx.Fail(kInternalError);
    // The symbol is named by the signature's tail, which ends the text.
    std::string& signature = ctx.signature;
    BuildSignatureInto(signature, node, cls->symbol.name ? cls->symbol.name : "");
    const std::string_view symbolName = SignatureSymbolName(signature);
    GSSymbol* symbol = cls->symbol.FindOwnMember(signature.c_str() + (symbolName.data() - signature.data()));
    if (!symbol || !symbol->Is(kSymbolFunction))
        return ctx.Fail(kInternalError);
    auto& function = static_cast<GSFunctionSymbol&>(*symbol);
    const bool native = (function.flags & kFlagNative) != 0;
    const bool definition = node.kind == kFunction;
    if (!definition) {
        if (!native && (function.flags & kSymbolNoBody))
            return ctx.Fail("Function %s not implemented", function.name);
        // A prototype of a function defined elsewhere in the class makes
        // nothing of its own.
        if (!native || cls->compiled.count(&function))
            return true;
    } else if (native) {
        return ctx.Fail("Native function %s has been implemented", function.name);
    }

    auto compiled = std::make_unique<GSCFunction>(function);
    GSCFunction& record = *compiled;
    cls->functions.push_back(std::move(compiled));
    cls->compiled.insert(&function);
    int32_t slot = 1;
    for (const SyntaxNode* p = node.child[2]; p; p = p->next, ++slot) {
        if (p->child[0] && IsReferenceType(p->child[0]->detail))
            record.referenceSlots.Add(uint32_t(slot));
    }
    if (!definition)
        return true;
    ctx.BeginFunction(record);
    const bool generated = GenerateNode(ctx, node.child[3]) && ctx.FrameFits(node.line);
    // The fix-ups are resolved only for a body generated whole.
    if (!generated) {
        ctx.AbandonCode();
        return false;
    }
    return ctx.EndCode();
}

bool GenerateFields(GenerationContext& ctx, SyntaxNode& node, int32_t type, const char* className)
{
    GSCClass* cls = ctx.cls;
    if (!cls)
        return ctx.Fail(kInternalError);
    // Constants are folded where they are used; they take no code.
    if (node.flags & kFlagDefine)
        return true;
    const bool reference = IsReferenceType(type);
    bool hasInitialiser = false;
    for (SyntaxNode* d = node.child[1]; d; d = d->next) {
        if (!d->child[0] || d->child[0]->index < 0)
            return ctx.Fail(kInternalError);
        if (reference)
            cls->referenceFields.Add(uint32_t(d->child[0]->index));
        hasInitialiser = hasInitialiser || d->child[1];
    }
    if (!hasInitialiser)
        return true;
    ctx.BeginInitialiser(*cls);
    for (SyntaxNode* d = node.child[1]; d; d = d->next) {
        if (!d->child[1])
            continue;
        if (!GenerateConverted(ctx, d->child[1], type, className)) {
            ctx.AbandonCode();
            return false;
        }
        CopySharedString(ctx, d->child[1]);
        if (!GenerateVariableStore(ctx, *d->child[0], true, reference) || !ctx.FrameFits(d->line)) {
            ctx.AbandonCode();
            return false;
        }
    }
    return ctx.EndCode();
}

bool GenerateLocals(GenerationContext& ctx, SyntaxNode& node, int32_t type, const char* className)
{
    if (!ctx.function)
        return ctx.Fail(kInternalError);
    const bool reference = IsReferenceType(type);
    for (SyntaxNode* d = node.child[1]; d; d = d->next) {
        if (!d->child[0] || d->child[0]->index < 0)
            return ctx.Fail(kInternalError);
        if (reference)
            ctx.function->referenceSlots.Add(uint32_t(d->child[0]->index));
        if (!d->child[1])
            continue;
        if (!GenerateConverted(ctx, d->child[1], type, className))
            return false;
        CopySharedString(ctx, d->child[1]);
        if (!GenerateVariableStore(ctx, *d->child[0], false, reference))
            return false;
    }
    return true;
}

}  // namespace

SyntaxNode* ValueOf(SyntaxNode* chain) noexcept
{
    while (chain && chain->next)
        chain = chain->next;
    return chain;
}

bool GenerateNode(GenerationContext& ctx, SyntaxNode* node)
{
    for (SyntaxNode* n = node; n; n = n->next) {
        ctx.line = n->line;
        bool ok = false;
        switch (n->category) {
        case kDeclaration:
            ok = GenerateDeclaration(ctx, *n);
            break;
        case kStatement:
            ok = GenerateStatement(ctx, *n);
            break;
        case kExpression:
            ok = GenerateExpression(ctx, *n);
            if (ok)
                PopDiscarded(ctx, *n);
            break;
        default:
            ok = ctx.Fail(kInternalError);
            break;
        }
        // The statement that takes a frame past a thread's stack is named.
        if (!ok || !ctx.FrameFits(n->line))
            return false;
    }
    return true;
}

bool GenerateDeclaration(GenerationContext& ctx, SyntaxNode& node)
{
    switch (node.kind) {
    case kInclude:
        return true;
    case kClass:
        return GenerateClass(ctx, node);
    case kFunction:
    case kFunctionPrototype:
        return GenerateFunction(ctx, node);
    case kVariableList: {
        const SyntaxNode* typeNode = node.child[0];
        const int32_t type = typeNode ? int32_t(typeNode->detail) : int32_t(kTypeNone);
        const char* className = ClassOfType(typeNode);
        return (node.flags & kFlagMemberVariables) ? GenerateFields(ctx, node, type, className)
                                                   : GenerateLocals(ctx, node, type, className);
    }
    default:
        return ctx.Fail(kInternalError);
    }
}

bool GenerateProgram(CompilerState& state)
{
    SourceContext& top = state.TopContext();
    if (!top.Declarations())
        return false;
    state.Classes().clear();
    GenerationContext ctx(state, top);
    return GenerateNode(ctx, top.Declarations());
}

}  // namespace GSCompiler
