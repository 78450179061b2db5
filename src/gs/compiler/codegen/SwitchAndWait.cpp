// Switches with their case tables, and waits with their message clauses:
// the instruction and room for its table come first, the body records
// where each case or handler starts, and the table is filled in after it.
#include <algorithm>

#include "gs/compiler/codegen/GenerationContext.h"
#include "gs/compiler/codegen/Generators.h"
#include "gs/compiler/parse/SyntaxNode.h"
#include "gs/support/bytecode/CodeBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSCompiler {

namespace {

using namespace GSBytecode;

constexpr const char* kInternalError = "Internal compiler error.";

uint32_t CountLinked(const SyntaxNode& owner, int32_t kind)
{
    uint32_t count = 0;
    for (const SyntaxNode* n = owner.ownerLink; n; n = n->ownerLink) {
        if (n->kind == kind)
            ++count;
    }
    return count;
}

// The two message names of an on statement as string-table indexes.
bool MessageNames(GenerationContext& ctx, const SyntaxNode& on, uint32_t& major, uint32_t& minor)
{
    const SyntaxNode* names[2] = {on.child[0], on.child[1]};
    for (const SyntaxNode* name : names) {
        if (!name || name->kind != kConstant || name->detail != kConstString)
            return ctx.Fail(kInternalError);
    }
    major = ctx.StringIndex(names[0]->value.text);
    minor = ctx.StringIndex(names[1]->value.text);
    return ctx.CheckCount(major, OperandLimit::kStrings) && ctx.CheckCount(minor, OperandLimit::kStrings);
}

}  // namespace

bool GenerateSwitch(GenerationContext& ctx, SyntaxNode& node)
{
    StatementRecord& record = ctx.RecordOf(node);
    record.breakLabel = ctx.labels.CreateLabel();
    const uint32_t cases = CountLinked(node, kCase);
    if (!GenerateNode(ctx, node.child[0]) || !ctx.EmitU16(kSWITCH, cases, OperandLimit::kSwitchCases))
        return false;
    GSBytecode::CodeBuffer& code = *ctx.code;
    const uint32_t table = code.Position();
    code.ReserveBytes(cases * 8 + 4);
    if (!GenerateNode(ctx, node.child[1]))
        return false;

    // The entries stay sorted as the cases come; an equal value goes after
    // the ones before it, so the later case is the one reported.
    const std::vector<StatementRecord::Entry>& entries = record.entries;
    for (size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].value == entries[i - 1].value) {
            ctx.line = entries[i].node->line;
            return ctx.Error("case has duplicate value, line %d");
        }
    }
    if (entries.size() != cases)
        return ctx.Fail(kInternalError);
    for (uint32_t i = 0; i < cases; ++i) {
        code.PatchU32(table + 4 * i, static_cast<uint32_t>(entries[i].value));
        code.PatchU32(table + 4 * cases + 4 * i, entries[i].offset);
    }
    // Without a default an unmatched value goes on after the body.
    code.PatchU32(table + 8 * cases, record.hasDefault ? record.defaultOffset : code.Position());
    return ctx.Place(record.breakLabel);
}

bool GenerateCase(GenerationContext& ctx, SyntaxNode& node)
{
    SyntaxNode* owner = node.value.statement;
    if (!owner)
        return ctx.Fail(kInternalError);
    StatementRecord& record = ctx.RecordOf(*owner);
    const uint32_t here = ctx.code->Position();
    if (node.kind == kDefault) {
        record.hasDefault = true;
        record.defaultOffset = here;
        return true;
    }
    const SyntaxNode* value = node.child[0];
    if (!value || value->kind != kConstant)
        return ctx.Fail(kInternalError);
    const int32_t number = value->value.number;
    auto at = std::upper_bound(record.entries.begin(), record.entries.end(), number,
                               [](int32_t v, const StatementRecord::Entry& e) { return v < e.value; });
    record.entries.insert(at, StatementRecord::Entry{here, number, &node});
    return true;
}

bool GenerateWait(GenerationContext& ctx, SyntaxNode& node)
{
    StatementRecord& record = ctx.RecordOf(node);
    record.continueLabel = ctx.labels.CreateLabel();
    record.breakLabel = ctx.labels.CreateLabel();
    const uint32_t clauses = CountLinked(node, kOn);
    // "continue" in a handler waits again.
    if (!ctx.Place(record.continueLabel) || !ctx.EmitU16(kWAIT, clauses, OperandLimit::kOnClauses))
        return false;
    GSBytecode::CodeBuffer& code = *ctx.code;
    const uint32_t table = code.Position();
    code.ReserveBytes(clauses * 8);
    if (!GenerateNode(ctx, node.child[0]))
        return false;
    if (record.entries.size() != clauses)
        return ctx.Fail(kInternalError);
    for (uint32_t i = 0; i < clauses; ++i) {
        uint32_t major, minor;
        if (!MessageNames(ctx, *record.entries[i].node, major, minor))
            return false;
        code.PatchU16(table + 4 * i, static_cast<uint16_t>(major));
        code.PatchU16(table + 4 * i + 2, static_cast<uint16_t>(minor));
        code.PatchU32(table + 4 * clauses + 4 * i, record.entries[i].offset);
    }
    return ctx.Place(record.breakLabel);
}

bool GenerateOn(GenerationContext& ctx, SyntaxNode& node)
{
    GSBytecode::CodeBuffer& code = *ctx.code;
    if (SyntaxNode* wait = node.value.statement) {
        StatementRecord& record = ctx.RecordOf(*wait);
        // The handler before this one leaves the wait rather than run on
        // into this one.
        if (!record.entries.empty() && !ctx.EmitJump(kJMP, record.breakLabel, "Break"))
            return false;
        record.entries.push_back(StatementRecord::Entry{code.Position(), 0, &node});
    } else {
        // On its own, an on statement waits for its one message here.
        uint32_t major, minor;
        if (!MessageNames(ctx, node, major, minor))
            return false;
        code.EmitOpU16(kWAIT, 1);
        code.WriteU16(static_cast<uint16_t>(major));
        code.WriteU16(static_cast<uint16_t>(minor));
        code.WriteU32(code.Position() + 4);
    }
    // The handler starts with the message on the stack.
    code.AdjustDepth(1);
    if (!node.child[2]) {
        code.EmitOp(kPOPO);
        return true;
    }
    return GenerateMessageStore(ctx, *node.child[2]);
}

}  // namespace GSCompiler
