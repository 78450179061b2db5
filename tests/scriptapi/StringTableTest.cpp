// StringTable over an asset description: keys from its "string-table", the
// fallback to the lower-cased key, and the placeholder scan.
#include <gtest/gtest.h>

#include "config/tree/TDBContainerTag.h"
#include "scriptapi/data/GSOStringTable.h"
#include "scriptapi/specs/GlimmerkitSpec.h"

namespace {

ChunkRef ConfigWith(const char* key, const char* text)
{
    ChunkRef table;
    TDBContainerTag::SetString(table, Nyx::PString(key), Nyx::PString(text));
    ChunkRef config;
    TDBContainerTag::SetChildContainer(config, Nyx::PString("string-table"), table);
    return config;
}

TEST(StringTableTest, PlaceholdersAreFilledOnceFromTheStart)
{
    GSOStringTable table(nullptr, nullptr);
    ASSERT_TRUE(table.SetParam(0, Nyx::PString("Ann")));
    ASSERT_TRUE(table.SetParam(1, Nyx::PString("$0 and $$")));
    ASSERT_TRUE(table.SetParam(9, Nyx::PString("nine")));
    const struct {
        const char* raw;
        const char* filled;
    } cases[] = {
        {"hello $0!", "hello Ann!"},
        {"$$0 costs", "$0 costs"},
        {"ends in $", "ends in $"},
        {"$x stays", "$x stays"},
        {"empty [$5]", "empty []"},
        {"not rescanned: $1", "not rescanned: $0 and $$"},
        {"$9$0", "nineAnn"},
        {"$", "$"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.filled, table.FillParams(c.raw)) << c.raw;
}

TEST(StringTableTest, SetParamRefusesIndexesOutsideZeroToNine)
{
    GSOStringTable table(nullptr, nullptr);
    for (int32_t index : {10, -1, INT32_MIN})
        EXPECT_FALSE(table.SetParam(index, Nyx::PString("x"))) << index;
    EXPECT_EQ("", table.FillParams("$0"));
    table.SetParam(0, Nyx::PString("y"));
    table.ClearParams();
    EXPECT_EQ("", table.FillParams("$0"));
}

TEST(StringTableTest, KeysComeFromTheSpecsTableElseAsTheLowerCasedKey)
{
    GlimmerkitSpec spec(KUID(400001, 7, 0), Nyx::PString(), Nyx::String("/assets"), Nyx::String("x"),
                        ConfigWith("greeting", "Hi $0"));
    {
        GSOStringTable table(nullptr, &spec);
        EXPECT_EQ(1, spec.ReferenceCount());
        table.SetParam(0, Nyx::PString("Bo"));
        EXPECT_EQ("Hi Bo", std::string(table.Lookup(Nyx::PString("GREETING")).View()));
        EXPECT_EQ("missing-key Bo", std::string(table.Lookup(Nyx::PString("Missing-KEY $0")).View()));
        EXPECT_EQ("", std::string(table.Lookup(Nyx::PString()).View()));
    }
    EXPECT_EQ(0, spec.ReferenceCount());
}

}  // namespace
