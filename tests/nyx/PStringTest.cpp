#include "nyx/base/PString.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Nyx::PString;
using Nyx::PStringCache;

TEST(PStringTest, EqualTextsShareOneNode)
{
    PString a("Signal");
    PString b(std::string("Signal"));
    PString c(std::string_view("Signal!").substr(0, 6));
    PString d = PStringCache::Create("Signal");
    EXPECT_EQ(a.Identity(), b.Identity());
    EXPECT_EQ(a.Identity(), c.Identity());
    EXPECT_EQ(a, d);
    EXPECT_EQ(a.RefCount(), 4u);
    EXPECT_STREQ(a.c_str(), "Signal");
    EXPECT_EQ(a.Length(), 6u);

    PString other("signal");
    EXPECT_NE(a, other) << "case matters for identity";
    EXPECT_TRUE(a < other) << "byte order: 'S' before 's'";
    EXPECT_FALSE(other < a);

    // Embedded NULs are part of the text.
    PString withNul(std::string_view("a\0b", 3));
    EXPECT_EQ(withNul.Length(), 3u);
    EXPECT_NE(withNul, PString("a"));

    // Copies, moves and assignment keep the count right.
    {
        PString copy = a;
        EXPECT_EQ(a.RefCount(), 5u);
        PString moved = std::move(copy);
        EXPECT_EQ(a.RefCount(), 5u);
        EXPECT_TRUE(copy.Empty());
        moved = other;
        EXPECT_EQ(a.RefCount(), 4u);
        const PString& alias = moved;
        moved = alias;
        EXPECT_EQ(moved, other);
    }
    EXPECT_EQ(a.RefCount(), 4u);

    std::unordered_set<PString> set{a, b, other};
    EXPECT_EQ(set.size(), 2u);
}

TEST(PStringTest, EmptyStringIsOneNode)
{
    size_t before = PStringCache::NodeCount();
    PString defaulted;
    PString fromEmpty("");
    PString fromNull(static_cast<const char*>(nullptr));
    PString fromStd{std::string()};
    PString created = PStringCache::Create(std::string_view());
    for (const PString* p : {&fromEmpty, &fromNull, &fromStd, &created}) {
        EXPECT_EQ(p->Identity(), defaulted.Identity());
        EXPECT_TRUE(p->Empty());
        EXPECT_STREQ(p->c_str(), "");
    }
    EXPECT_EQ(PStringCache::NodeCount(), before) << "the empty node is not in the cache";
}

TEST(PStringTest, MakeLower)
{
    PString s("MiXeD Case 123");
    EXPECT_TRUE(s.MakeLower());
    EXPECT_EQ(s, PString("mixed case 123"));
    EXPECT_TRUE(s.MakeLower());
    EXPECT_EQ(s, PString("mixed case 123"));

    PString lower("already");
    const void* id = lower.Identity();
    EXPECT_TRUE(lower.MakeLower());
    EXPECT_EQ(lower.Identity(), id);

    // Only ASCII letters change; other bytes pass through.
    PString high("\xC4Q\xE9");
    EXPECT_TRUE(high.MakeLower());
    EXPECT_EQ(high.View(), "\xC4q\xE9");

    PString empty;
    EXPECT_TRUE(empty.MakeLower());
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(PStringCache::ToLower(PString("ABC")), PString("abc"));
}

TEST(PStringTest, GarbageCollectionFreesOnlyUnusedNodes)
{
    const std::string text = "pstring-gc-test-unique-text";
    size_t base = PStringCache::NodeCount();

    const void* id;
    {
        PString p(text);
        id = p.Identity();
        EXPECT_EQ(PStringCache::NodeCount(), base + 1);
    }
    // Unreferenced but not yet collected: the same node comes back.
    EXPECT_EQ(PStringCache::NodeCount(), base + 1);
    PString revived(text);
    EXPECT_EQ(revived.Identity(), id);
    EXPECT_EQ(revived.RefCount(), 1u);

    PStringCache::CollectGarbage();
    EXPECT_EQ(revived.Identity(), id) << "a live node survives collection";
    EXPECT_STREQ(revived.c_str(), text.c_str());
    size_t withLive = PStringCache::NodeCount();

    {
        PString dropped("pstring-gc-test-dropped");
    }
    EXPECT_EQ(PStringCache::NodeCount(), withLive + 1);
    EXPECT_EQ(PStringCache::CollectGarbage(), 1u) << "only the dropped node goes";
    EXPECT_EQ(PStringCache::NodeCount(), withLive);
    EXPECT_EQ(PStringCache::CollectGarbage(), 0u);

    revived = PString();
    EXPECT_EQ(PStringCache::CollectGarbage(), 1u);
    PString again(text);
    EXPECT_STREQ(again.c_str(), text.c_str());
}

// Many strings through growth of the cache and collections that free some
// of them: every live string keeps its node, and texts dropped and made
// again are found as one node each, whichever ones went (runs that
// collided are closed up around the gaps).
TEST(PStringTest, ManyStringsSurviveGrowthAndCollection)
{
    constexpr int kCount = 50000;
    struct Pattern {
        const char* name;
        bool (*drops)(int i);
    } patterns[] = {
        {"every other one", [](int i) { return i % 2 == 0; }},
        {"all but every third", [](int i) { return i % 3 != 0; }},
        {"one long stretch", [](int i) { return i >= 1000 && i < 41000; }},
        {"all", [](int) { return true; }},
    };
    for (const Pattern& pattern : patterns) {
        SCOPED_TRACE(pattern.name);
        const auto text = [&pattern](int i) { return "pstring-many-" + std::string(pattern.name) + std::to_string(i); };
        std::vector<PString> kept;
        std::vector<const void*> ids;
        for (int i = 0; i < kCount; ++i) {
            kept.emplace_back(text(i));
            ids.push_back(kept.back().Identity());
        }
        const size_t before = PStringCache::NodeCount();
        size_t dropped = 0;
        for (int i = 0; i < kCount; ++i) {
            if (pattern.drops(i)) {
                kept[i] = PString();
                ++dropped;
            }
        }
        EXPECT_GE(PStringCache::CollectGarbage(), dropped);
        EXPECT_LE(PStringCache::NodeCount(), before - dropped);
        for (int i = 0; i < kCount; ++i) {
            const PString again(text(i));
            if (!pattern.drops(i)) {
                ASSERT_EQ(again.Identity(), ids[i]) << i;
                ASSERT_EQ(again.RefCount(), 2u) << i;
            } else {
                ASSERT_EQ(again.RefCount(), 1u) << i;
                kept[i] = again;
            }
            ASSERT_EQ(again.View(), text(i));
        }
        for (int i = 0; i < kCount; ++i)
            ASSERT_EQ(PString(text(i)).Identity(), kept[i].Identity()) << i;
    }
}

}  // namespace
