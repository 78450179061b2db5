// Calls: the target object (the object before the "." or "me"), the
// arguments in order, then the call. The callee takes the target and the
// arguments off the stack and leaves its result, if any.
#include <cstring>

#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/Generators.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

constexpr const char* kInternalError = "Internal compiler error.";
// The depth operand is a signed 16-bit count of the arguments, negated.
constexpr uint32_t kMostArguments = 0x7FFF;

}  // namespace

bool GenerateCall(GenerationContext& ctx, SyntaxNode& node)
{
    SyntaxNode* callee = node.child[0];
    if (!callee)
        return ctx.Fail(kInternalError);
    const bool throughObject = callee->kind == kOperator && callee->detail == kOpMember;
    const bool inherited = !throughObject && callee->kind == kIdentifier && callee->value.text &&
                           std::strcmp(callee->value.text, "inherited") == 0;
    if (throughObject) {
        if (!GenerateNode(ctx, callee->child[0]))
            return false;
    } else if (!ctx.EmitU16(kLOADO, 0, OperandLimit::kFrameSlots)) {
        return false;
    }

    // An argument list may hold an expression whose value is dropped (a
    // parenthesised comma list): only the values left count.
    uint32_t arguments = 0;
    for (const SyntaxNode* a = node.child[1]; a; a = a->next) {
        if (!(a->flags & kFlagValueDiscarded))
            ++arguments;
    }
    if (arguments > kMostArguments) {
        ctx.line = node.line;
        return ctx.Error("More than 32767 arguments in one call, line %d.");
    }
    if (!GenerateNode(ctx, node.child[1]))
        return false;
    const uint16_t depth = static_cast<uint16_t>(-static_cast<int32_t>(arguments));
    GSBytecode::CodeBuffer& code = *ctx.code;
    if (inherited) {
        code.EmitOpU16(kINHERITED, depth);
    } else {
        if (node.index < 0)
            return ctx.Fail(kInternalError);
        if (!ctx.CheckCount(uint32_t(node.index), OperandLimit::kMethods))
            return false;
        const uint8_t opcode = (node.flags & kFlagNative) ? kCALLN : (node.flags & kFlagThread) ? kCALLT : kCALL;
        code.EmitOpU16U16(opcode, depth, static_cast<uint16_t>(node.index));
    }
    // The target and the arguments go; a result comes back.
    code.AdjustDepth((node.type != kTypeVoid ? 1 : 0) - static_cast<int32_t>(arguments + 1));
    return true;
}

}  // namespace GSCompiler
