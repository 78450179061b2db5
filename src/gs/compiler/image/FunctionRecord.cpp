#include "gs/compiler/image/FunctionRecord.h"

#include <string>

#include "gs/compiler/codegen/GSCFunction.h"
#include "gs/compiler/codegen/StringTable.h"
#include "gs/compiler/image/ImageBlocks.h"
#include "gs/compiler/symbols/GSSymbolTable.h"

namespace GSCompiler {

namespace {

// The specifiers a function record keeps: public, native, final, thread,
// constructor.
constexpr uint32_t kFunctionFlags = 0x3B;
constexpr uint32_t kConstructorFlag = 0x20;

void WriteS32(Utils::ByteBuffer& out, int32_t value) { out.WriteU32(static_cast<uint32_t>(value)); }

// The code, padded with 0xFF to a word boundary.
void WriteCode(Utils::ByteBuffer& out, const GSBytecode::CodeBuffer& code)
{
    out.WriteU32(code.Size());
    out.WriteBytes(code.Data(), code.Size());
    PadTo4(out, 0xFF);
}

}  // namespace

bool WriteFunctionRecord(Utils::ByteBuffer& out, const GSCFunction& function, const GSCClass& owner,
                         GSSymbolTable& symbols, StringTable& strings)
{
    const GSFunctionSymbol& symbol = function.symbol;
    const uint32_t start = BeginBlock(out, kTagFunction);
    out.WriteU32(strings.Intern(symbol.signature ? symbol.signature : ""));
    out.WriteU32(static_cast<uint32_t>(symbol.type));
    const GSClassSymbol* returnClass = symbol.returnClass ? symbols.FindClass(symbol.returnClass) : nullptr;
    WriteS32(out, returnClass ? returnClass->referenceIndex : -1);
    out.WriteU32(symbol.flags & kFunctionFlags);
    WriteS32(out, owner.symbol.functionOffset + symbol.index);
    if (function.code.Depth() != 0)
        return false;

    // Frame: "me" and the parameters (a), the locals (b), the temporaries
    // (c), and the deepest the operand stack goes (s).
    const int32_t a = symbol.argumentSlots;
    const int32_t n = symbol.localSlots + symbol.temporarySlots;
    const int32_t s = function.code.MaxDepth();
    WriteS32(out, n + 4);
    WriteS32(out, 1 - a);
    WriteS32(out, n + 1);
    WriteS32(out, s + n + 4);
    WriteS32(out, a);
    WriteS32(out, symbol.localSlots);
    WriteS32(out, symbol.temporarySlots);
    out.WriteU32(function.referenceSlots.Count());
    out.WriteBytes(function.referenceSlots.Data(), function.referenceSlots.Count() * 4);
    WriteCode(out, function.code);
    out.WriteU32(kLineTableMark);
    out.WriteU32(function.LineCount());
    out.WriteBytes(function.Lines(), function.LineCount() * 8);
    EndBlock(out, start);
    return true;
}

bool WriteInitialiserRecord(Utils::ByteBuffer& out, const GSCClass& cls, StringTable& strings)
{
    const uint32_t start = BeginBlock(out, kTagFunction);
    out.WriteU32(strings.Intern("::" + std::string(cls.symbol.name ? cls.symbol.name : "") + "()"));
    // No return value, no class, no method slot; a frame of "me" and the
    // temporaries (x) with the stack the initialisers need (y).
    const int32_t x = cls.initTemporaries;
    const int32_t y = cls.init.MaxDepth();
    const int32_t words[] = {0, -1, int32_t(kConstructorFlag), -1, x + 4, 0, x + 1, y + x + 4, 1, 0, x, 0};
    for (int32_t word : words)
        WriteS32(out, word);
    if (cls.init.Depth() != 0)
        return false;
    WriteCode(out, cls.init);
    EndBlock(out, start);
    return true;
}

}  // namespace GSCompiler
