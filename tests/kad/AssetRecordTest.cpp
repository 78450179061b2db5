#include "kad/requests/AssetRecord.h"

#include <gtest/gtest.h>

#include "kad/WireBytes.h"

namespace {

// Flags 2, 3, 8, 9, 11 and 17 set in the first run (flag 0 clear, so the
// constructed default must not survive), 19 and 20 in the second.
constexpr bool kFirstRun[18] = {false, false, true, true, false, false, false, false, true,
                                true,  false, true, false, false, false, false, false, true};
constexpr bool kSecondRun[3] = {false, true, true};

// A reply with every field distinct from its default and from the others.
wire::Bytes FullReply(uint32_t smallNumber = 5)
{
    wire::Bytes b;
    b.Kuid(KUID(77, 500, 3)).Text("Blue Loco").Text("UK").Text("loco;blue");
    for (bool f : kFirstRun)
        b.U8(f ? 1 : 0);
    b.U32(static_cast<uint32_t>(-42)).Text("author-key").Text("1960s");
    b.U32(7).Text("class-key").Text("TR;TV");
    for (bool f : kSecondRun)
        b.U8(f ? 1 : 0);
    b.U32(smallNumber).F32(3.5f).U64(0x1122334455667788ull).U64(0x0102030405060708ull);
    b.Kuid(KUID(-2, 900, 127)).U8(1);
    return b;
}

TEST(AssetRecordTest, AWholeReplyFillsEveryFieldAndWritesBackByteForByte)
{
    const wire::Bytes reply = FullReply();
    wire::Input in(reply.Str());
    AssetRecord r;
    EXPECT_TRUE(AssetRecord::Parse(in.stream, r));
    EXPECT_EQ(in.stream.GetError(), 0u);
    EXPECT_EQ(in.stream.Tell(), reply.Size());

    EXPECT_EQ(r.kuid, KUID(77, 500, 3));
    EXPECT_EQ(r.displayName, "Blue Loco");
    EXPECT_EQ(r.regionText, "UK");
    EXPECT_EQ(r.keywordText, "loco;blue");
    for (uint32_t i = 0; i < 18; ++i)
        EXPECT_EQ(r.GetFlag(i), kFirstRun[i]) << i;
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(r.GetFlag(18 + i), kSecondRun[i]) << 18 + i;
    // The runs land in four bytes, each from bit 0.
    EXPECT_EQ(r.flagBytes[0], 0x0C);
    EXPECT_EQ(r.flagBytes[1], 0x0B);
    EXPECT_EQ(r.flagBytes[2], 0x02);
    EXPECT_EQ(r.flagBytes[3], 0x06);
    EXPECT_EQ(r.authorId, -42);
    EXPECT_EQ(r.firstGroupKey.View(), "author-key");
    EXPECT_EQ(r.eraText, "1960s");
    EXPECT_EQ(r.secondGroupNumber, 7);
    EXPECT_EQ(r.secondGroupKey.View(), "class-key");
    EXPECT_EQ(r.categoryText, "TR;TV");
    EXPECT_EQ(r.favouriteState, 5);
    EXPECT_EQ(r.build, 3.5f);
    EXPECT_EQ(r.installTime, 0x1122334455667788ull);
    EXPECT_EQ(r.modifiedTime, 0x0102030405060708ull);
    EXPECT_EQ(r.parentKUID, KUID(-2, 900, 127));
    EXPECT_TRUE(r.known);

    wire::Output out;
    WriteAssetInfo(out.stream, r);
    EXPECT_EQ(out.Str(), reply.Str());
}

TEST(AssetRecordTest, OnlyTheLowByteOfTheSmallNumberIsKept)
{
    wire::Input in(FullReply(300).Str());
    AssetRecord r;
    AssetRecord::Parse(in.stream, r);
    EXPECT_EQ(r.favouriteState, 44);
}

TEST(AssetRecordTest, AReplyCutShortReadsTheRestAsZeroAndUnknown)
{
    const std::string whole = FullReply().Str();
    // Offsets: KUID 8; texts to 8+14+7+14 = 43; first run to 61; first
    // group to 65+15+10 = 90; second group to 94+14+10 = 118; second run to
    // 121; small number 125; float 129; times 145; parent KUID 153; known.
    ASSERT_EQ(whole.size(), 154u);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        wire::Input in(whole.substr(0, cut));
        AssetRecord r;
        EXPECT_TRUE(AssetRecord::Parse(in.stream, r));
        EXPECT_FALSE(r.known);
        EXPECT_EQ(in.stream.GetError(), uint32_t(TStream::kErrShortRecord));
    }

    struct Case {
        size_t cut;
        bool textsKept;
        bool groupsKept;
    };
    const Case cases[] = {{0, false, false}, {43, true, false}, {118, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        wire::Input in(whole.substr(0, c.cut));
        AssetRecord r;
        AssetRecord::Parse(in.stream, r);
        EXPECT_EQ(r.kuid, c.textsKept ? KUID(77, 500, 3) : KUID::Null);
        EXPECT_EQ(r.keywordText, c.textsKept ? "loco;blue" : "");
        EXPECT_EQ(r.categoryText, c.groupsKept ? "TR;TV" : "");
        // Zero, not the constructed defaults 1, -1 and 255.
        EXPECT_EQ(r.GetFlag(0), false);
        EXPECT_EQ(r.secondGroupNumber, c.groupsKept ? 7 : 0);
        EXPECT_EQ(r.favouriteState, 0);
        EXPECT_EQ(r.build, 0.0f);
        EXPECT_EQ(r.installTime, 0u);
        EXPECT_EQ(r.parentKUID, KUID::Null);
    }
}

TEST(AssetRecordTest, AccessorsGiveEmptyTextsAndSetFlagsForAnUnknownAsset)
{
    AssetRecord unknown;
    unknown.displayName = "stale";
    unknown.eraText = "stale";
    EXPECT_EQ(unknown.NameOrEmpty(), "");
    EXPECT_EQ(unknown.EraOrEmpty(), "");
    EXPECT_TRUE(unknown.IsLocallyModified());
    EXPECT_TRUE(unknown.Flag9());
    EXPECT_TRUE(unknown.Flag11(false));

    struct Case {
        bool installed;
        bool flag11;
        bool gate;
        bool expected;
    };
    // The gate counts an asset that is not present locally as set.
    const Case cases[] = {
        {false, false, false, false}, {false, false, true, true}, {true, false, true, false},
        {true, true, false, true},    {false, true, false, true},
    };
    for (const Case& c : cases) {
        AssetRecord r;
        r.known = true;
        r.SetFlag(AssetRecord::kFlagInstalled, c.installed);
        r.SetFlag(AssetRecord::kFlagStatusM, c.flag11);
        EXPECT_EQ(r.Flag11(c.gate), c.expected) << c.installed << c.flag11 << c.gate;
    }

    AssetRecord known;
    known.known = true;
    known.displayName = "Blue Loco";
    EXPECT_EQ(known.NameOrEmpty(), "Blue Loco");
    EXPECT_FALSE(known.IsLocallyModified());
    known.SetFlag(AssetRecord::kFlagLocallyModified, true);
    EXPECT_TRUE(known.IsLocallyModified());
}

}  // namespace
