// The buffer one piece of bytecode is emitted into: the bytes, the depth of
// the operand stack that the code reaches so far (from the opcode table's
// stack effects) with its high-water mark, and a hook called with the code
// offset before each instruction, so its owner can keep a line table.
//
// A failed allocation sets kAllocFailed and every later write is skipped;
// a patch past the written bytes sets kPastEnd. Owners check Flags() once
// at the end: either flag means the code is not whole.
#pragma once

#include <cstdint>

#include "gs/support/ByteBuffer.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSBytecode {

class CodeBuffer {
public:
    static constexpr uint32_t kAllocFailed = Utils::ByteBuffer::kAllocFailed;
    static constexpr uint32_t kPastEnd = Utils::ByteBuffer::kPastEnd;

    using LineHook = void (*)(void* context, uint32_t position);

    CodeBuffer() = default;
    CodeBuffer(const CodeBuffer&) = delete;
    CodeBuffer& operator=(const CodeBuffer&) = delete;

    // Fresh storage of `growth` bytes (also the growth step); position,
    // size, flags and depths 0, no hook. False when the storage could not
    // be had (the buffer is then failed).
    bool Init(uint32_t growth);
    // With a line to watch, the hook is called only before the first
    // instruction and before each one where the line is not what it was at
    // the call before: a line table needs no more, and most instructions
    // share their line with the one before.
    void SetLineHook(LineHook hook, void* context, const int32_t* line = nullptr) noexcept
    {
        hook_ = hook;
        hookContext_ = context;
        line_ = line;
        hookCalled_ = false;
    }

    // An instruction: the hook, the opcode's stack effect, the opcode byte,
    // then its operands little-endian. Inline: a large program's code is
    // half a million instructions.
    void EmitOp(uint8_t opcode) { BeginInstruction(opcode); }
    void EmitOpU16(uint8_t opcode, uint16_t operand)
    {
        BeginInstruction(opcode);
        bytes_.WriteU16(operand);
    }
    void EmitOpU16U16(uint8_t opcode, uint16_t first, uint16_t second)
    {
        BeginInstruction(opcode);
        bytes_.WriteU16(first);
        bytes_.WriteU16(second);
    }
    void EmitOpU32(uint8_t opcode, uint32_t operand)
    {
        BeginInstruction(opcode);
        bytes_.WriteU32(operand);
    }
    // PUSHI with the float's bits.
    void EmitPushFloat(float value);

    // Operand bytes that follow an instruction written above (tables).
    void WriteU16(uint16_t value) { bytes_.WriteU16(value); }
    void WriteU32(uint32_t value) { bytes_.WriteU32(value); }
    // Room for n bytes at the position, zeroed, filled in later by Patch.
    void ReserveBytes(uint32_t n);
    // Writes over earlier bytes; the position stays. False (and kPastEnd)
    // for a place past the written size.
    bool PatchU16(uint32_t at, uint16_t value) noexcept;
    bool PatchU32(uint32_t at, uint32_t value) noexcept;

    // Adds the opcode's stack effect (0 for opcodes outside the table).
    void StackEffect(uint8_t opcode) noexcept
    {
        if (opcode < kOpcodeCount)
            AdjustDepth(int32_t(kOpcodes[opcode].pushes) - int32_t(kOpcodes[opcode].pops));
    }
    // Adds a depth change the table does not know (calls).
    void AdjustDepth(int32_t delta) noexcept
    {
        depth_ += delta;
        if (depth_ > maxDepth_)
            maxDepth_ = depth_;
    }
    int32_t Depth() const noexcept { return depth_; }
    int32_t MaxDepth() const noexcept { return maxDepth_; }

    uint32_t Position() const noexcept { return bytes_.Position(); }
    uint32_t Size() const noexcept { return bytes_.Size(); }
    uint32_t Flags() const noexcept { return bytes_.Flags(); }
    bool Whole() const noexcept { return (bytes_.Flags() & (kAllocFailed | kPastEnd)) == 0; }
    const uint8_t* Data() const noexcept { return bytes_.Data(); }
    Utils::ByteBuffer& Bytes() noexcept { return bytes_; }

private:
    void BeginInstruction(uint8_t opcode)
    {
        if (hook_ && (!line_ || !hookCalled_ || *line_ != hookLine_)) {
            if (line_) {
                hookLine_ = *line_;
                hookCalled_ = true;
            }
            hook_(hookContext_, bytes_.Position());
        }
        StackEffect(opcode);
        bytes_.WriteU8(opcode);
    }

    Utils::ByteBuffer bytes_;
    LineHook hook_ = nullptr;
    void* hookContext_ = nullptr;
    const int32_t* line_ = nullptr;
    int32_t hookLine_ = 0;
    bool hookCalled_ = false;
    int32_t depth_ = 0;
    int32_t maxDepth_ = 0;
};

}  // namespace GSBytecode
