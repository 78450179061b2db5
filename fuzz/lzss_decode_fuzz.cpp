// The LZSS decoder over arbitrary bytes: the header byte picks the stored,
// flag-word or Huffman form. Whatever the input, decoding must stay inside
// the source and the destination, and a fixed buffer, a growing one and a
// sink fed in pieces must agree on the outcome and the bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/compress/LZSSCompress.h"

namespace {

constexpr uint32_t kCapacity = 1u << 16;

// Refuses what would take it past the capacity, as the fixed buffer does.
class CappedSink : public Nyx::DecompressSink {
public:
    bool Put(const uint8_t* data, uint32_t size) override
    {
        if (bytes.size() + size > kCapacity)
            return false;
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<uint8_t> bytes;
};

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

    CappedSink sink;
    const bool streamedOk = codec.DecompressTo(sink, data, n);
    if (streamedOk != fixedOk)
        std::abort();
    if (fixedOk && (sink.bytes.size() != fixedOut.Size() ||
                    (fixedOut.Size() && std::memcmp(sink.bytes.data(), fixed.get(), fixedOut.Size()) != 0)))
        std::abort();
    return 0;
}
