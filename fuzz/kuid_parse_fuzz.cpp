// Every KUID the parser accepts must survive the packed word and its own text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/kuid/KUID.h"

namespace {

void Check(const KUID& k)
{
    if (k.IsNull())
        return;
    if (KUID::FromPacked(k.PackedWord(), k.content) != k)
        std::abort();
    uint8_t chunk[KUID::kPackedSize];
    k.ToChunk(chunk);
    if (KUID::FromChunk(chunk) != k)
        std::abort();
    const Nyx::PString text = k.ToString();
    if (KUID::Parse(text.c_str(), false) != k)
        std::abort();
    // The strict grammar has no sign for the content id, so such a KUID only
    // reads back leniently.
    const KUID strict = KUID::Parse(text.c_str(), true);
    if (k.content >= 0 ? strict != k : !strict.IsNull())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(KUID::Parse(text.c_str(), true));
    Check(KUID::Parse(text.c_str(), false));
    return 0;
}
