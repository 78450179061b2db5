// Block compression round trip: the first byte picks the level (10 stands
// for every level above 9), the rest is the source. With one spare byte of
// room the block always fits, and it must decode to the source exactly.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/compress/LZSSCompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    const uint32_t level = data[0] % 11;
    const uint8_t* src = data + 1;
    const uint32_t n = static_cast<uint32_t>(size - 1);

    Nyx::LZSSCompress codec;
    std::vector<uint8_t> packed(n + 1);
    const int64_t packedSize = codec.CompressBlock(packed.data(), n + 1, src, n, level);
    if (packedSize < 1 || packedSize > int64_t(n) + 1)
        std::abort();
    if (packed[0] != 0 && packed[0] != Nyx::LZSSCompress::HeaderFor(n, level))
        std::abort();

    std::vector<uint8_t> back(n ? n : 1);
    const int64_t got = codec.DecompressBlock(back.data(), n, packed.data(), static_cast<uint32_t>(packedSize));
    if (got != int64_t(n) || (n && std::memcmp(back.data(), src, n) != 0))
        std::abort();
    return 0;
}
