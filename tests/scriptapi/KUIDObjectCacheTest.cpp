// The one living KUID object per value: shared across contexts, by all
// three words, and gone from the cache with the object.
#include <gtest/gtest.h>

#include "gs/runtime/objects/GSScriptInstance.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/KUIDObjectCache.h"
#include "support/ScriptApiMachine.h"

using namespace scriptapitest;

namespace {

TEST(KUIDObjectCacheTest, OneObjectPerValueUntilItGoes)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    const size_t before = KUIDObjectCache::Count();
    KestroScriptContext first(&shared.machine), second(&shared.machine);
    bool created = false;
    GSOKUID* a = KUIDObjectCache::FindOrCreate(&first, KUID(7, 8, 0), &created);
    ASSERT_NE(nullptr, a);
    EXPECT_TRUE(created);
    EXPECT_EQ(a, KUIDObjectCache::FindOrCreate(&second, KUID(7, 8, 0), &created));
    EXPECT_FALSE(created);
    GSOKUID* b = KUIDObjectCache::FindOrCreate(&second, KUID(7, 8, 1), &created);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(a, b);
    EXPECT_EQ(before + 2, KUIDObjectCache::Count());
    // The creation counts were the caller's: dropping them ends both.
    GSRuntime::ReleasePart(a->GetInstance());
    GSRuntime::ReleasePart(b->GetInstance());
    EXPECT_EQ(before, KUIDObjectCache::Count());
    GSOKUID* again = KUIDObjectCache::FindOrCreate(&first, KUID(7, 8, 0), &created);
    EXPECT_TRUE(created);
    ASSERT_NE(nullptr, again);
    GSRuntime::ReleasePart(again->GetInstance());
}

}  // namespace
