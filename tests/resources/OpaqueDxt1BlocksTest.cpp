// Rewriting three-colour DXT1 blocks that would decode transparent where
// the source is opaque: which blocks change and how, and which blocks of
// each level an alpha source lets keep their transparent texels.
#include "resources/textures/OpaqueDxt1Blocks.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "resources/TextureTestSupport.h"

namespace {

using Block = std::array<uint8_t, 8>;

Block MakeBlock(uint16_t c0, uint16_t c1, uint32_t bits)
{
    return {static_cast<uint8_t>(c0),         static_cast<uint8_t>(c0 >> 8),         static_cast<uint8_t>(c1),
            static_cast<uint8_t>(c1 >> 8),    static_cast<uint8_t>(bits),            static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

std::vector<uint32_t> Decode(const Block& block)
{
    return texturetest::DecodeDxt(10, 4, 4, std::string(block.begin(), block.end()));
}

TEST(OpaqueDxt1BlocksTest, TheTransparentEntryBecomesTheDarkestColour)
{
    // The first end is not above the second in every three-colour block.
    constexpr uint16_t kRed = 0xF800, kGreen = 0x07E0, kGrey = 0x8410, kWhite = 0xFFFF, kCyan = 0x07FF,
                       kDarkRed = 0x8000;
    struct Case {
        const char* name;
        Block block;
        bool changed;
        uint32_t bits;  // afterwards
    };
    const Case cases[] = {
        {"four-colour blocks stay", MakeBlock(kWhite, kGrey, 0xFFFFFFFF), false, 0xFFFFFFFF},
        {"three colours without the fourth", MakeBlock(kGrey, kWhite, 0x66666666), false, 0x66666666},
        {"the darker end first", MakeBlock(kGrey, kWhite, 0x000000FB), true, 0x00000008},
        {"the darker end second", MakeBlock(kCyan, kDarkRed, 0xC00000F0), true, 0x40000050},
        {"the mean darker than either end", MakeBlock(kGreen, kRed, 0x0000000F), true, 0x0000000A},
        {"equal ends", MakeBlock(kGrey, kGrey, 0xFFFFFFFF), true, 0x00000000},
        {"black ends stay black, opaque", MakeBlock(0, 0, 0x00000003), true, 0x00000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block block = c.block;
        EXPECT_EQ(OpaqueDxt1Blocks::MakeOpaque(block.data()), c.changed);
        EXPECT_EQ(block, MakeBlock(static_cast<uint16_t>(c.block[0] | c.block[1] << 8),
                                   static_cast<uint16_t>(c.block[2] | c.block[3] << 8), c.bits));
        // Every texel opaque, and those that were opaque before unchanged.
        const auto before = Decode(c.block);
        const auto after = Decode(block);
        for (size_t p = 0; p < 16; ++p) {
            EXPECT_EQ(after[p] >> 24, 0xFFu) << p;
            if (before[p] >> 24) {
                EXPECT_EQ(after[p], before[p]) << p;
            }
        }
    }
}

TEST(OpaqueDxt1BlocksTest, WhichBlocksAnAlphaSourceWantsOpaque)
{
    // A 64 x 64 source, opaque but for one texel at (10, 50).
    std::vector<uint8_t> texels(64 * 64 * 4, 0xFF);
    texels[(50 * 64 + 10) * 4 + 3] = 0x80;
    struct Case {
        const char* name;
        bool keepsAlpha;
        bool repeatWrap;
        uint32_t width, height, bx, by;
        bool opaque;
    };
    const Case cases[] = {
        {"no alpha stored: every block", false, false, 64, 64, 2, 12, true},
        {"the texel's own block", true, false, 64, 64, 2, 12, false},
        {"the next block: the top level is not filtered", true, false, 64, 64, 3, 12, true},
        {"a block far away", true, false, 64, 64, 12, 2, true},
        {"mip 1, the block over it", true, false, 32, 32, 1, 6, false},
        {"mip 1, within the filter's reach", true, false, 32, 32, 3, 6, false},
        {"mip 1, out of reach", true, false, 32, 32, 6, 6, true},
        {"mip 1, over the edge without wrapping", true, false, 32, 32, 1, 0, true},
        {"mip 1, over the edge when wrapping", true, true, 32, 32, 1, 0, false},
        {"mip 4, everything near", true, false, 4, 4, 0, 0, false},
        {"past the level", true, false, 64, 64, 16, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpaqueDxt1Blocks blocks(texels.data(), 64, 64, c.keepsAlpha, c.repeatWrap);
        EXPECT_EQ(blocks.MustBeOpaque(c.width, c.height, c.bx, c.by), c.opaque);
    }
    // A wholly opaque source wants every block.
    texels[(50 * 64 + 10) * 4 + 3] = 0xFF;
    EXPECT_TRUE(OpaqueDxt1Blocks(texels.data(), 64, 64, true, false).MustBeOpaque(64, 64, 2, 12));
}

TEST(OpaqueDxt1BlocksTest, ApplyRewritesOnlyBlocksThatMustBeOpaque)
{
    // 8 x 4 texels: the left block's source is opaque, the right one's not.
    std::vector<uint8_t> texels(8 * 4 * 4, 0xFF);
    texels[(1 * 8 + 6) * 4 + 3] = 0;
    const Block seeThrough = MakeBlock(0x8410, 0xFFFF, 0x00000003);
    std::array<uint8_t, 16> level{};
    std::copy(seeThrough.begin(), seeThrough.end(), level.begin());
    std::copy(seeThrough.begin(), seeThrough.end(), level.begin() + 8);
    const OpaqueDxt1Blocks blocks(texels.data(), 8, 4, true, false);
    EXPECT_EQ(blocks.Apply(level.data(), level.size(), 8, 4), 1u);
    EXPECT_EQ(Block(MakeBlock(0x8410, 0xFFFF, 0)), (Block{level[0], level[1], level[2], level[3], level[4], level[5],
                                                           level[6], level[7]}));
    EXPECT_TRUE(std::equal(seeThrough.begin(), seeThrough.end(), level.begin() + 8));
    // A level cut short is rewritten as far as its whole blocks go.
    std::array<uint8_t, 12> cut{};
    std::copy(seeThrough.begin(), seeThrough.end(), cut.begin());
    EXPECT_EQ(OpaqueDxt1Blocks(texels.data(), 8, 4, false, false).Apply(cut.data(), cut.size(), 8, 4), 1u);
}

}  // namespace
