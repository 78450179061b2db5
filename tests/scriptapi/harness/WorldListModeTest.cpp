// The harness's "worldlist IN OUT" as a process in a laid-out data root
// (whose stand-in daemon is closed again at the end): a list of test items
// saves back byte for byte, a record of an unknown type is dropped, and the
// item count is printed.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "scriptapi/harness/HarnessTest.h"

namespace {

struct Bytes {
    std::string data;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes& Item(uint32_t id, uint32_t type, int32_t content, const std::string& payload)
    {
        U32(id).U32(type).U32(uint32_t(content)).U32(1);
        U32(uint32_t(payload.size()));
        data += payload;
        return *this;
    }
};

class WorldListModeTest : public HarnessTest {
protected:
    // The last line the mode prints (the program may print others first).
    std::string RunWorldList(const std::string& in, const std::string& out)
    {
        const std::string printed = RunHarness({"worldlist", in, out}).out;
        const size_t start = printed.rfind('\n', printed.size() < 2 ? 0 : printed.size() - 2);
        return start == std::string::npos ? printed : printed.substr(start + 1);
    }
};

TEST_F(WorldListModeTest, TestItemsSaveBackAsTheyWereAndUnknownTypesAreDropped)
{
    const std::string in = output_.Path() + "/in.bin";
    const std::string out = output_.Path() + "/out.bin";
    const Bytes emptyState = Bytes().U32(16).U32(0xFEEDCEEB).U32(5).U32(0xFFFFFFFF).U32(0xFFFFFFFF);
    const std::string kept = Bytes()
                                 .U32(5)
                                 .U32(0xFFFFFFFF)
                                 .Item(1, 0x74657374, 10, "odd")
                                 .Item(6, 0x74657374, 11, std::string("\0\xFF", 2))
                                 .U32(0xFFFFFFFF)
                                 .data +
                             emptyState.data;
    std::ofstream(in, std::ios::binary) << kept;
    EXPECT_EQ("= items 2\n", RunWorldList(in, out));
    EXPECT_EQ(kept, Slurp(out));

    const std::string withUnknown = Bytes()
                                        .U32(5)
                                        .U32(0xFFFFFFFF)
                                        .Item(1, 0x74657374, 10, "odd")
                                        .Item(2, 0x6E6F6E65, 12, "gone")
                                        .Item(6, 0x74657374, 11, std::string("\0\xFF", 2))
                                        .U32(0xFFFFFFFF)
                                        .data +
                                    emptyState.data;
    std::ofstream(in, std::ios::binary | std::ios::trunc) << withUnknown;
    EXPECT_EQ("= items 2\n", RunWorldList(in, out));
    EXPECT_EQ(kept, Slurp(out));
}

}  // namespace
