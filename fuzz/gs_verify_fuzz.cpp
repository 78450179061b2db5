// The bytecode verifier over arbitrary code: the first eight bytes give the
// sizes of the tables the code may name (strings, class references, locals,
// fields of "me", u16 each), the rest is the code. Nothing is read outside
// the code, and the depth ranges of accepted code are sorted, start at
// offset 0, lie inside the code and hold the entry's own depth.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzCheck.h"
#include "core/streams/LittleEndian.h"
#include "gs/runtime/library/CodeVerifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    GSRuntime::CodeLimits limits;
    limits.strings = LoadLE16(data);
    limits.classRefs = LoadLE16(data + 2);
    limits.locals = LoadLE16(data + 4);
    limits.meFields = LoadLE16(data + 6);
    // The code in a buffer of its own size, so a read past it is seen.
    std::vector<uint8_t> code(data + 8, data + size);
    std::vector<GSRuntime::DepthRange> ranges;
    if (!GSRuntime::VerifyCode(code.data(), uint32_t(code.size()), limits, ranges))
        return 0;
    FuzzCheck(code.empty() || (!ranges.empty() && ranges[0].offset == 0));
    for (size_t i = 0; i < ranges.size(); ++i) {
        FuzzCheck(ranges[i].offset < code.size());
        FuzzCheck(ranges[i].lowest <= 0 && ranges[i].highest >= 0);
        FuzzCheck(i == 0 || ranges[i - 1].offset < ranges[i].offset);
    }
    return 0;
}
