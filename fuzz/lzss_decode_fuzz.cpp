// The LZSS decoder over arbitrary bytes: the header byte picks the stored,
// flag-word or Huffman form. Whatever the input, decoding must stay inside
// the source and the destination, and a fixed buffer and a growing one must
// agree on the outcome and the bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/LZSSCompress.h"

namespace {

constexpr uint32_t kCapacity = 1u << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const uint32_t n = static_cast<uint32_t>(size);

    Nyx::LZSSCompress codec;
    std::unique_ptr<uint8_t[]> fixed(new uint8_t[kCapacity]);
    Nyx::CompressOutput fixedOut(fixed.get(), kCapacity);
    const bool fixedOk = codec.DecompressData(fixedOut, data, n);
    if (fixedOut.Size() > kCapacity)
        std::abort();

    Nyx::DynamicBuffer buffer;
    Nyx::CompressOutput grownOut(buffer, kCapacity);
    const bool grownOk = codec.DecompressData(grownOut, data, n);
    if (grownOk != fixedOk || buffer.DataLength() != fixedOut.Size())
        std::abort();
    if (fixedOut.Size() && std::memcmp(buffer.Data(), fixed.get(), fixedOut.Size()) != 0)
        std::abort();
    return 0;
}
