#include "kad/requests/KUIDListWire.h"

#include <gtest/gtest.h>

#include <vector>

#include "kad/WireBytes.h"

namespace {

std::vector<KUID> Contents(const KUIDRing& ring)
{
    std::vector<KUID> v;
    for (const KUID& k : ring)
        v.push_back(k);
    return v;
}

TEST(KUIDListWireTest, AListAppendsInTheOrderReceived)
{
    const std::vector<KUID> kuids = {KUID(5, 6, 0), KUID(-2, 900, 127), KUID(5, 6, 0)};
    wire::Output out;
    WriteKUIDList(out.stream, std::span<const KUID>(kuids));
    EXPECT_EQ(out.Str(), wire::Bytes().U32(3).Kuid(kuids[0]).Kuid(kuids[1]).Kuid(kuids[2]).Str());

    KUIDRing ring;
    ring.Append(KUID(5, 6, 0));
    wire::Input in(out.Str());
    EXPECT_TRUE(ReadKUIDList(in.stream, ring));
    EXPECT_EQ(in.stream.GetError(), 0u);
    // What the ring held stays; duplicates are kept.
    EXPECT_EQ(Contents(ring), (std::vector<KUID>{KUID(5, 6, 0), KUID(5, 6, 0), KUID(-2, 900, 127), KUID(5, 6, 0)}));

    KUIDRing again;
    wire::Output ringOut;
    WriteKUIDList(ringOut.stream, ring);
    wire::Input ringIn(ringOut.Str());
    EXPECT_TRUE(ReadKUIDList(ringIn.stream, again));
    EXPECT_EQ(Contents(again), Contents(ring));
}

TEST(KUIDListWireTest, ACountIsBelievedOnlyAsFarAsTheBytesReach)
{
    struct Case {
        const char* name;
        std::string bytes;
        size_t appended;
        bool whole;
    };
    const Case cases[] = {
        {"count 0", wire::Bytes().U32(0).Str(), 0, true},
        {"four billion", wire::Bytes().U32(0xFFFFFFFF).Kuid(KUID(1, 2, 0)).Str(), 1, false},
        {"one over", wire::Bytes().U32(2).Kuid(KUID(1, 2, 0)).U32(9).Str(), 1, false},
        {"no count", std::string(), 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KUIDRing ring;
        wire::Input in(c.bytes);
        EXPECT_EQ(ReadKUIDList(in.stream, ring), c.whole);
        EXPECT_EQ(ring.Count(), c.appended);
        if (c.appended) {
            EXPECT_EQ(*ring.begin(), KUID(1, 2, 0));
        }
        if (!c.whole) {
            EXPECT_EQ(in.stream.GetError(), uint32_t(TStream::kErrShortRecord));
        }
    }
}

}  // namespace
