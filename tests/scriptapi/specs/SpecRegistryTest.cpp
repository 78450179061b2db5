#include "scriptapi/specs/SpecRegistry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecTestSupport.h"

namespace {

class SpecRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { KUIDResolutionCache::Instance().RequestReset(); }

    // A new registered description with one reference for the test.
    TestSpec* Register(const KUID& kuid, bool* deleted = nullptr, bool staysRegistered = true)
    {
        auto* spec = new TestSpec(kuid, deleted, staysRegistered);
        registry_.Add(spec);
        spec->AddReference();
        return spec;
    }

    SpecRegistry registry_;
};

TEST_F(SpecRegistryTest, NullAndReservedKUIDsFindNothingWithoutAsking)
{
    ScriptedDaemon daemon;
    TestSpec* spec = Register(KUID::Null);
    GlimmerkitSpec* out = spec;
    struct Case {
        const char* name;
        KUID kuid;
    } cases[] = {{"null", KUID::Null}, {"reserved", SpecRegistry::kReservedKUID}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(registry_.Find(c.kuid), nullptr);
    }
    EXPECT_EQ(registry_.FindByKUID(out, KUID::Null, nullptr, false), nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(daemon.Requests().empty());
    spec->Release();
}

TEST_F(SpecRegistryTest, TwoKUIDsOfOneBucketAreBothFoundAndTheFirstOfEqualKeysWins)
{
    const KUID a(7, 0, 0);
    const KUID b(7 + 4093, 0, 0);  // the same bucket
    ASSERT_EQ(SpecRegistry::BucketOf(a), SpecRegistry::BucketOf(b));
    TestSpec* first = Register(a);
    TestSpec* other = Register(b);
    TestSpec* second = Register(a);
    EXPECT_EQ(registry_.EntryCount(), 3u);

    struct Case {
        KUID kuid;
        GlimmerkitSpec* expected;
    } cases[] = {{a, first}, {b, other}, {KUID(8, 0, 0), nullptr}};
    for (const Case& c : cases) {
        GlimmerkitSpec* found = registry_.Find(c.kuid);
        EXPECT_EQ(found, c.expected);
        if (found) {
            EXPECT_EQ(found->ReferenceCount(), 2);
            found->Release();
        }
    }
    for (TestSpec* spec : {first, other, second})
        spec->Release();
}

// The daemon knows the KUID but gives no folder: the asset has no description.
std::optional<std::string> NoFolder(uint32_t number, const std::string& payload)
{
    if (number == 26)
        return payload;
    if (number == 23)
        return wire::Bytes().Text("").Text("").Str();
    return std::string();
}

TEST_F(SpecRegistryTest, AnEmptyFolderPathIsRememberedAsNoSpec)
{
    ScriptedDaemon daemon(&NoFolder);
    GlimmerkitSpec* out = nullptr;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(registry_.FindByKUID(out, KUID(5, 6, 0), nullptr, false), nullptr);
    EXPECT_EQ(daemon.Count(26), 1);
    EXPECT_EQ(daemon.Count(23), 1);
    KUID resolved;
    ASSERT_TRUE(KUIDResolutionCache::Instance().Lookup(KUID(5, 6, 0), resolved));
    EXPECT_EQ(resolved, KUID::Null);
}

TEST_F(SpecRegistryTest, TheFolderPathIsReadWhateverItsLength)
{
    const std::string longPath = "/" + std::string(300, 'p');
    std::string asked;
    ScriptedDaemon daemon([&](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        if (number == 26)
            return payload;
        if (number == 23)
            return wire::Bytes().Text("name").Text(longPath).Str();
        return std::string();
    });
    GlimmerkitSpec* out = nullptr;
    // No config lies there: what counts is that the whole path was taken
    // (a cut path would be remembered as an asset without a folder).
    EXPECT_EQ(registry_.FindByKUID(out, KUID(5, 7, 0), nullptr, false), nullptr);
    KUID resolved;
    EXPECT_FALSE(KUIDResolutionCache::Instance().Lookup(KUID(5, 7, 0), resolved));
}

bool RejectAll(const GlimmerkitSpec*) { return false; }

TEST_F(SpecRegistryTest, FiltersAndRetiringDecideWhatFindByKUIDGives)
{
    ScriptedDaemon daemon([](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        return number == 26 ? std::optional<std::string>(payload) : std::string();
    });
    struct Case {
        const char* name;
        bool staysRegistered;
        SpecRegistry::AcceptFilter filter;
        bool found;
        KUID cached;
    } cases[] = {
        {"accepted", true, nullptr, true, KUID::Null},
        {"rejected by the filter", true, &RejectAll, false, KUID(9, 1, 0)},
        {"retired out of the table", false, nullptr, false, KUID::Null},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KUIDResolutionCache::Instance().RequestReset();
        TestSpec* spec = Register(KUID(9, 1, 0), nullptr, c.staysRegistered);
        GlimmerkitSpec* out = nullptr;
        GlimmerkitSpec* found = registry_.FindByKUID(out, KUID(9, 1, 0), c.filter, false);
        EXPECT_EQ(found != nullptr, c.found);
        EXPECT_EQ(spec->ReferenceCount(), c.found ? 2 : 1);
        KUID cached;
        if (c.found) {
            found->Release();
            EXPECT_FALSE(KUIDResolutionCache::Instance().Lookup(KUID(9, 1, 0), cached));
        } else {
            ASSERT_TRUE(KUIDResolutionCache::Instance().Lookup(KUID(9, 1, 0), cached));
            EXPECT_EQ(cached, c.cached);
        }
        spec->Release();
        registry_.PurgeAndReportLeaks();
    }
}

TEST_F(SpecRegistryTest, HeldSpecsAreListedAsLeakedWithTheirCounts)
{
    ScriptedDaemon daemon;
    bool activeDeleted = false, pendingDeleted = false;
    TestSpec* active = Register(KUID(400001, 12, 0), &activeDeleted);
    TestSpec* pending = Register(KUID(400001, 13, 0), &pendingDeleted, false);
    pending->Retire();
    ASSERT_EQ(registry_.PendingCount(), 1u);
    active->AddReference();
    {
        CaughtLog log;
        registry_.PurgeAndReportLeaks();
        EXPECT_EQ(log.Text(), "Leaked specs:\n"
                              "  (   2) - <kuid:400001:12> \"\"\n"
                              "  (   1) - <kuid:400001:13> \"\"\n");
    }
    // A pending description still held is not pulled from under its holder.
    EXPECT_FALSE(pendingDeleted);
    EXPECT_EQ(pending->ReferenceCount(), 1);

    active->Release();
    active->Release();
    pending->Release();
    CaughtLog quiet;
    registry_.PurgeAndReportLeaks();
    EXPECT_TRUE(activeDeleted);
    EXPECT_TRUE(pendingDeleted);
    EXPECT_EQ(quiet.Text(), "");
}

TEST_F(SpecRegistryTest, PurgingRepeatsUntilAChainOfReleasesIsGone)
{
    bool deleted[3] = {};
    // Each later description holds the one before: only the last is free at first.
    TestSpec* specs[3];
    for (int i = 0; i < 3; ++i)
        specs[i] = Register(KUID(1, i, 0), &deleted[i]);
    specs[1]->Hold(specs[0]);
    specs[2]->Hold(specs[1]);
    for (TestSpec* spec : specs)
        spec->Release();

    EXPECT_TRUE(registry_.PurgeUnused());
    EXPECT_TRUE(deleted[2]);
    registry_.PurgeAndReportLeaks();
    EXPECT_TRUE(deleted[0] && deleted[1]);
    EXPECT_EQ(registry_.ActiveCount(), 0u);
    EXPECT_EQ(registry_.EntryCount(), 0u);
    EXPECT_FALSE(registry_.PurgeUnused());
}

}  // namespace
