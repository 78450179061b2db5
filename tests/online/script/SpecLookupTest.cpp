// The asset descriptions that the script context's library lookup and a new
// OnlineAccess object ask for: each is retired as it is handed out, stays
// registered (found again without a new load), and is left unheld, so the
// next purge deletes it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/router/GSRouter.h"
#include "kad/ScriptedDaemon.h"
#include "kad/WireBytes.h"
#include "online/script/GSOOnlineAccess.h"
#include "online/script/OnlineScriptClasses.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/support/ScriptApiMachine.h"
#include "support/TempFolder.h"

namespace {

const KUID kLibrary(600003, 1, 0);
const KUID kAsset(600003, 2, 0);

class SpecLookupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallOnlineScriptClasses();
        ASSERT_TRUE(scriptapitest::ScriptApiMachine::Get().ready);
        KUIDResolutionCache::Instance().RequestReset();
        root_.Write("local/lib/config.txt", "kuid <kuid:600003:1>\nusername \"lib\"\nkind \"library\"\n"
                                            "kestro-build 3.5\n");
        root_.Write("local/asset/config.txt", "kuid <kuid:600003:2>\nusername \"asset\"\nkind \"scenery\"\n"
                                              "kestro-build 3.5\n");
        registry_.AddFactory(new GSOLibrarySpecFactory);
        registry_.SetDefaultFactory(&factory_);
    }
    void TearDown() override { registry_.SetDefaultFactory(nullptr); }

    // Resolves every KUID to itself and gives the asset's folder.
    std::optional<std::string> Answer(const std::string& folder, uint32_t number, const std::string& payload) const
    {
        if (number == 26)
            return payload;
        if (number == 23)
            return wire::Bytes().Text(folder).Text(root_.Path() + "/local/" + folder + "/").Str();
        return std::string();
    }

    // The registered description, found again; its count without this find.
    GlimmerkitSpec* Registered(const KUID& kuid, int32_t& count)
    {
        GlimmerkitSpec* spec = registry_.Find(kuid);
        count = spec ? spec->ReferenceCount() - 1 : -1;
        if (spec)
            spec->Release();
        return spec;
    }

    TempFolder root_;
    SpecRegistry registry_;
    KADScript_KestroBaseSpecFactory factory_;
};

TEST_F(SpecLookupTest, TheLibraryLookupRetiresTheDescriptionAndHoldsNoneOfItsOwn)
{
    ScriptedDaemon daemon([this](uint32_t number, const std::string& payload) {
        return Answer("lib", number, payload);
    });
    KestroScriptContext context(&scriptapitest::ScriptApiMachine::Get().machine);
    context.SetRouter(std::make_unique<GSRouter>(&context));
    int32_t count = -1;
    // The library has no script to start: its Library fails and is dropped,
    // but the description stays registered, retired and unheld.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(context.GetScriptLibrary(kLibrary), nullptr);
        GlimmerkitSpec* spec = Registered(kLibrary, count);
        ASSERT_NE(spec, nullptr);
        EXPECT_TRUE(spec->IsRetired());
        EXPECT_TRUE(spec->IsReleased());
        EXPECT_EQ(count, 0);
    }
    // Found again in the registry, not loaded again.
    EXPECT_EQ(daemon.Count(23), 1);
    EXPECT_TRUE(registry_.PurgeUnused());
    EXPECT_EQ(Registered(kLibrary, count), nullptr);
}

TEST_F(SpecLookupTest, ANewOnlineAccessRetiresTheDescriptionItAsksAndHoldsNone)
{
    ScriptedDaemon daemon([this](uint32_t number, const std::string& payload) {
        return Answer("asset", number, payload);
    });
    KestroScriptContext context(&scriptapitest::ScriptApiMachine::Get().machine);
    context.SetRouter(std::make_unique<GSRouter>(&context));
    GSOOnlineAccess* access = GSOOnlineAccess::Instance(&context, kAsset);
    ASSERT_NE(access, nullptr);
    int32_t count = -1;
    GlimmerkitSpec* spec = Registered(kAsset, count);
    ASSERT_NE(spec, nullptr);
    EXPECT_TRUE(spec->IsRetired());
    EXPECT_EQ(count, 0);
    GSRuntime::ReleasePart(access->GetInstance());
    EXPECT_TRUE(registry_.PurgeUnused());
    EXPECT_EQ(Registered(kAsset, count), nullptr);
}

}  // namespace
