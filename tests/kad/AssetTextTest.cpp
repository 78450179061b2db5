#include "kad/client/AssetText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "config/tree/TDBContainerTag.h"
#include "core/process/ProcessState.h"
#include "kad/client/Housekeeping.h"
#include "kad/client/KADClient.h"
#include "nyx/base/PString.h"

namespace {

using Tag = TDBContainerTag;

TEST(AssetTextTest, UnderscoresToSpaces)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"plain name", "plain name"}, {"a_b__c_", "a b  c "}, {"___", "   "}, {"_\xe2\x80\x9c_", " \xe2\x80\x9c "},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(UnderscoresToSpaces(Nyx::String(in)).Str(), out) << in;
}

TEST(AssetTextTest, QuoteMarkLengthForwardsAndBackwards)
{
    struct Case {
        const char* name;
        std::string text;
        size_t at;     // the position measured
        bool forwards;  // else backwards, the position being the text's last byte read
        int32_t expected;
    };
    const std::string open8 = "\xe2\x80\x9c";  // opening double
    const std::string openS8 = "\xe2\x80\x98";  // opening single
    const std::string close8 = "\xe2\x80\x9d";
    const std::string closeS8 = "\xe2\x80\x99";
    const Case cases[] = {
        {"double quote forwards", "\"x", 0, true, 1},
        {"apostrophe backwards", "x'", 1, false, 1},
        {"double quote alone", "\"", 0, true, 1},
        {"a letter", "ab", 0, true, 0},
        {"curly 0x93 before ASCII", "\x93x", 0, true, 1},
        {"curly 0x91 before ASCII", "\x91x", 0, true, 1},
        {"curly 0x94 after ASCII, backwards", "x\x94", 1, false, 1},
        {"curly 0x92 after ASCII, backwards", "x\x92", 1, false, 1},
        {"curly 0x93 alone forwards", "\x93", 0, true, 0},
        {"curly 0x94 alone backwards", "\x94", 0, false, 0},
        {"curly 0x93 before a high byte", "\x93\xe9", 0, true, 0},
        {"curly 0x94 after a high byte, backwards", "\xe9\x94", 1, false, 0},
        {"0x95 is no quote", "\x95x", 0, true, 0},
        {"UTF-8 opening double forwards", open8 + "x", 0, true, 3},
        {"UTF-8 opening single forwards", openS8 + "x", 0, true, 3},
        {"UTF-8 opening quote alone", open8, 0, true, 3},
        {"UTF-8 closing double forwards", close8 + "x", 0, true, 0},
        {"UTF-8 closing double backwards", "x" + close8, 3, false, 3},
        {"UTF-8 closing single backwards", "x" + closeS8, 3, false, 3},
        {"UTF-8 closing quote alone backwards", close8, 2, false, 3},
        {"UTF-8 opening quote backwards", "x" + open8, 3, false, 0},
        {"UTF-8 quote cut short forwards", "\xe2\x80", 0, true, 0},
        {"UTF-8 quote cut short backwards", "\x80\x9d", 1, false, 0},
    };
    for (const Case& c : cases) {
        const int32_t length = c.forwards ? int32_t(c.text.size() - c.at) : -int32_t(c.at + 1);
        EXPECT_EQ(QuoteMarkLength(c.text.data() + c.at, length), c.expected) << c.name;
    }
    EXPECT_EQ(QuoteMarkLength("\"", 0), 0) << "no bytes";
}

TEST(AssetTextTest, ConfigBuildVersion)
{
    struct Case {
        const char* name;
        std::function<void(ChunkRef&)> fill;
        float expected;
    };
    const Case cases[] = {
        {"build 3.2", [](ChunkRef& c) { Tag::SetFloat(c, "kestro-build", 3.2f); }, 3.205f},
        {"build 1.0", [](ChunkRef& c) { Tag::SetFloat(c, "kestro-build", 1.0f); }, 1.005f},
        {"build as text", [](ChunkRef& c) { Tag::SetString(c, "kestro-build", "2.9"); }, 2.905f},
        {"build 150 with a class", [](ChunkRef& c) {
             Tag::SetFloat(c, "kestro-build", 150.0f);
             Tag::SetString(c, "class", "Thing");
         }, 2.0f},
        {"build 100 with a mesh table", [](ChunkRef& c) {
             Tag::SetFloat(c, "kestro-build", 100.0f);
             ChunkRef table;
             Tag::SetChildContainer(c, "mesh-table", table);
         }, 2.0f},
        {"build 0.5 with a script class", [](ChunkRef& c) {
             Tag::SetFloat(c, "kestro-build", 0.5f);
             Tag::SetString(c, "scriptclass", "S");
         }, 2.0f},
        {"nothing", [](ChunkRef& c) { Tag::SetString(c, "kind", "scenery"); }, 1.3f},
        {"build 150 alone", [](ChunkRef& c) { Tag::SetFloat(c, "kestro-build", 150.0f); }, 1.3f},
    };
    for (const Case& c : cases) {
        ChunkRef config;
        config.EnsureContainer();
        c.fill(config);
        EXPECT_FLOAT_EQ(GetConfigBuildVersion(config), c.expected) << c.name;
    }
    EXPECT_FLOAT_EQ(GetConfigBuildVersion(ChunkRef()), 1.3f);
}

TEST(AssetTextTest, ClientSettingsDefaults)
{
    KADClientSettings settings;
    EXPECT_TRUE(settings.path.Empty());
    EXPECT_EQ(settings.callback, nullptr);
    const uint8_t expected[6] = {1, 1, 1, 1, 0, 1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(settings.flags[i], expected[i]) << "flag " << i;
}

int g_drops = 0;
void CountDrop() { ++g_drops; }

TEST(AssetTextTest, PurgeUnusedResourcesOnlyOnTheMainThread)
{
    const UnusedResourceDropper previous = GetUnusedResourceDropper();
    SetUnusedResourceDropper(&CountDrop);
    SetMainThreadId();
    g_drops = 0;

    { Nyx::PString unused("purge-test: a string nobody keeps"); }
    const size_t nodes = Nyx::PStringCache::NodeCount();
    std::thread([] { PurgeUnusedResources(); }).join();
    EXPECT_EQ(g_drops, 0) << "another thread sweeps nothing";
    EXPECT_GE(Nyx::PStringCache::NodeCount(), nodes);

    PurgeUnusedResources();
    EXPECT_EQ(g_drops, 1);
    EXPECT_LT(Nyx::PStringCache::NodeCount(), nodes) << "the string nobody keeps is freed";

    SetUnusedResourceDropper(nullptr);
    PurgeUnusedResources();  // without a resource system only the strings go
    EXPECT_EQ(g_drops, 1);

    SetUnusedResourceDropper(previous);
}

}  // namespace
