#include "gs/support/bytecode/CodeBuffer.h"

#include <cstring>

#include "core/streams/LittleEndian.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSBytecode {

bool CodeBuffer::Init(uint32_t growth)
{
    hook_ = nullptr;
    hookContext_ = nullptr;
    line_ = nullptr;
    hookCalled_ = false;
    depth_ = maxDepth_ = 0;
    return bytes_.Init(growth);
}

void CodeBuffer::EmitPushFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    EmitOpU32(kPUSHI, bits);
}

void CodeBuffer::ReserveBytes(uint32_t n)
{
    static const uint8_t kZeros[64] = {};
    while (n > 0) {
        const uint32_t step = n < sizeof kZeros ? n : uint32_t(sizeof kZeros);
        bytes_.WriteBytes(kZeros, step);
        if (bytes_.Flags() & kAllocFailed)
            return;
        n -= step;
    }
}

bool CodeBuffer::PatchU16(uint32_t at, uint16_t value) noexcept
{
    uint8_t bytes[2];
    StoreLE16(bytes, value);
    return bytes_.WriteAt(at, bytes, sizeof bytes);
}

bool CodeBuffer::PatchU32(uint32_t at, uint32_t value) noexcept
{
    uint8_t bytes[4];
    StoreLE32(bytes, value);
    return bytes_.WriteAt(at, bytes, sizeof bytes);
}

}  // namespace GSBytecode
