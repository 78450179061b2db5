// Security tokens in C++, with world items as issuers: rights checks, the
// re-issue rule in each of its cases, merging, and the owner check that
// asks the daemon once per asset.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSString.h"
#include "kad/ScriptedDaemon.h"
#include "kad/requests/AssetRecord.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/security/GSOSecurityToken.h"
#include "scriptapi/specs/KUIDResolutionCache.h"
#include "scriptapi/specs/SpecRegistry.h"
#include "scriptapi/world/WorldListItem.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/specs/SpecTestSupport.h"
#include "scriptapi/support/ScriptApiMachine.h"

using namespace GSRuntime;
using scriptapitest::ScriptApiMachine;

namespace {

class Issuer : public WorldListItem {
public:
    explicit Issuer(const KUID& kuid) : kuid_(kuid) {}
    uint32_t GetTypeCode() override { return 0x67736C62u; }
    KUID GetKUID() override { return kuid_; }

private:
    KUID kuid_;
};

// A script array of strings; a null element and a non-string are mixed in
// where asked.
class Rights {
public:
    explicit Rights(std::initializer_list<const char*> texts, bool withOthers = false)
        : array_(new GSArray(nullptr, GSArray::kReferenceElements))
    {
        int32_t i = 0;
        for (const char* text : texts) {
            auto* s = new GSString(nullptr, text);
            array_->SetObjectAt(i++, s->Reference(), false);
        }
        if (withOthers) {
            array_->SetObjectAt(i++, 0, false);
            auto* other = new GSArray(nullptr, GSArray::kPlainElements);
            array_->SetObjectAt(i++, other->Reference(), false);
        }
    }
    ~Rights() { ReleasePart(array_->GetInstance()); }
    Rights(const Rights&) = delete;
    Rights& operator=(const Rights&) = delete;
    GSArray* get() const { return array_; }

private:
    GSArray* array_;
};

// A script array of token references (a null where a token is null).
class TokenArray {
public:
    explicit TokenArray(std::initializer_list<GSOSecurityToken*> tokens)
        : array_(new GSArray(nullptr, GSArray::kReferenceElements))
    {
        int32_t i = 0;
        for (GSOSecurityToken* token : tokens) {
            const GSSlot value = token && token->GetInstance() ? MakeReference(token->GetInstance()) : 0;
            array_->SetObjectAt(i++, value, true);
        }
    }
    ~TokenArray() { ReleasePart(array_->GetInstance()); }
    TokenArray(const TokenArray&) = delete;
    TokenArray& operator=(const TokenArray&) = delete;
    GSArray* get() const { return array_; }

private:
    GSArray* array_;
};

std::vector<std::string> RightsOf(const GSOSecurityToken& token, const WorldListItem* issuer, const KUID& kuid)
{
    std::vector<std::string> out;
    const GSOSecurityToken::IssuerEntry* entry = token.FindIssuer(issuer);
    if (!entry)
        return {"<no issuer>"};
    auto record = entry->records.find(kuid);
    if (record == entry->records.end())
        return {"<no record>"};
    for (const Nyx::PString& right : record->second)
        out.push_back(right.Str());
    return out;
}

constexpr KUID kA{100, 1, 0};
constexpr KUID kB{100, 2, 0};
constexpr KUID kK{7, 70, 0};
constexpr KUID kK2{7, 71, 1};

TEST(SecurityTokenTest, RightsBelongToOneIssuerAndOneKUID)
{
    Issuer a(kA), b(kB);
    Rights rights({"x", "y", "x"}, true);
    GSOSecurityToken token(nullptr, &a, kK, rights.get());
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), RightsOf(token, &a, kK)) << "duplicates collapse";
    EXPECT_TRUE(GSOSecurityToken::HasRight(&a, token, kK, Nyx::PString("x")));
    EXPECT_FALSE(GSOSecurityToken::HasRight(&b, token, kK, Nyx::PString("x")));
    EXPECT_FALSE(GSOSecurityToken::HasRight(&a, token, kK2, Nyx::PString("x")));
    EXPECT_FALSE(GSOSecurityToken::HasRight(&a, token, kK, Nyx::PString("z")));
    EXPECT_FALSE(GSOSecurityToken::HasRight(&a, token, KUID(7, 70, 1), Nyx::PString("x"))) << "all three words";
}

TEST(SecurityTokenTest, ReIssueFollowsTheCallersStanding)
{
    Issuer a(kA), holder(kK), stranger(kB);
    Rights granted({"x", "y", "duplicate-token"});
    GSOSecurityToken token(nullptr, &a, kK, granted.get());
    Rights requested({"x", "z"});
    Rights none({});

    {
        SCOPED_TRACE("an empty request gives none and logs nothing");
        CaughtLog log;
        EXPECT_EQ(nullptr, token.ReIssueToken(nullptr, &holder, kK2, none.get()));
        EXPECT_EQ("", log.Text());
    }
    {
        SCOPED_TRACE("neither issuer nor holder of the duplicate right");
        CaughtLog log;
        EXPECT_EQ(nullptr, token.ReIssueToken(nullptr, &stranger, kK2, requested.get()));
        EXPECT_NE(std::string::npos,
                  log.Text().find("GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security "
                                  "token (" +
                                  kB.ToString().Str() + ")"))
            << log.Text();
    }
    {
        SCOPED_TRACE("a holder of the duplicate right adds itself with an empty record");
        GSOSecurityToken* copy = token.ReIssueToken(nullptr, &holder, kK2, requested.get());
        ASSERT_NE(nullptr, copy);
        ASSERT_EQ(2u, copy->Issuers().size());
        EXPECT_EQ(&a, copy->Issuers()[0].issuer);
        EXPECT_EQ(&holder, copy->Issuers()[1].issuer);
        EXPECT_EQ(std::vector<std::string>{}, RightsOf(*copy, &holder, kK2));
        EXPECT_EQ((std::vector<std::string>{"duplicate-token", "x", "y"}), RightsOf(*copy, &a, kK));
        EXPECT_EQ(1u, token.Issuers().size()) << "the token re-issued stays as it was";
        delete copy;
    }
}

TEST(SecurityTokenTest, AnIssuerWithoutTheDuplicateRightNarrowsItsOwnRecords)
{
    Issuer a(kA);
    Rights granted({"x", "y", "w"});
    GSOSecurityToken token(nullptr, &a, kA, granted.get());
    Rights requested({"x", "w", "new"});
    GSOSecurityToken* copy = token.ReIssueToken(nullptr, &a, kK2, requested.get());
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ((std::vector<std::string>{"w", "x"}), RightsOf(*copy, &a, kA));
    EXPECT_EQ("<no record>", RightsOf(*copy, &a, kK2).front()) << "the new KUID is not used";
    EXPECT_EQ((std::vector<std::string>{"w", "x", "y"}), RightsOf(token, &a, kA));
    delete copy;

    // An issuer that holds the duplicate right gets the copy as it was.
    Rights all({"x", "duplicate-token"});
    GSOSecurityToken own(nullptr, &a, kA, all.get());
    GSOSecurityToken* same = own.ReIssueToken(nullptr, &a, kK2, requested.get());
    ASSERT_NE(nullptr, same);
    ASSERT_EQ(1u, same->Issuers().size());
    EXPECT_EQ((std::vector<std::string>{"duplicate-token", "x"}), RightsOf(*same, &a, kA));
    delete same;
}

// Tokens in a script array need instances: they are made in a context of
// the shared script machine, where the SecurityToken class is loaded.
TEST(SecurityTokenTest, MergingUnitesRightsAndKeepsIssuersInOrder)
{
    ScriptApiMachine& shared = ScriptApiMachine::Get();
    ASSERT_TRUE(shared.ready);
    KestroScriptContext context(&shared.machine);
    Issuer a(kA), b(kB);
    Rights x({"x"}), y({"y", "w"}), z({"z"});
    GSOSecurityToken first(&context, &b, kK, x.get());
    GSOSecurityToken second(&context, &b, kK, y.get());
    GSOSecurityToken third(&context, &a, kK2, z.get());
    GSOSecurityToken fourth(&context, &b, kK2, z.get());
    ASSERT_NE(nullptr, first.GetInstance());

    TokenArray tokens({&first, nullptr, &second, &third, &fourth});
    GSOSecurityToken* merged = GSOSecurityToken::MergeSecurityTokens(&context, tokens.get());
    ASSERT_NE(nullptr, merged);
    EXPECT_NE(nullptr, merged->GetInstance());
    ASSERT_EQ(2u, merged->Issuers().size());
    EXPECT_EQ(&b, merged->Issuers()[0].issuer);
    EXPECT_EQ(&a, merged->Issuers()[1].issuer);
    EXPECT_EQ((std::vector<std::string>{"w", "x", "y"}), RightsOf(*merged, &b, kK));
    EXPECT_EQ((std::vector<std::string>{"z"}), RightsOf(*merged, &b, kK2));
    EXPECT_EQ((std::vector<std::string>{"z"}), RightsOf(*merged, &a, kK2));
    EXPECT_EQ((std::vector<std::string>{"x"}), RightsOf(first, &b, kK)) << "the first token is copied, not changed";
    delete merged;

    TokenArray empty({});
    EXPECT_EQ(nullptr, GSOSecurityToken::MergeSecurityTokens(&context, empty.get()));
    TokenArray nulls({nullptr, nullptr});
    EXPECT_EQ(nullptr, GSOSecurityToken::MergeSecurityTokens(&context, nulls.get()));
}

std::string InfoReply(const KUID& kuid, bool modified)
{
    AssetRecord record;
    record.known = true;
    record.kuid = kuid;
    record.SetFlag(AssetRecord::kFlagLocallyModified, modified);
    TBuffer out;
    WriteAssetInfo(out, record);
    Nyx::DynamicBuffer* b = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

TEST(SecurityTokenTest, IsOwnerLocallyModifiedAsksTheDaemonOncePerSpec)
{
    KUIDResolutionCache::Instance().RequestReset();
    SpecRegistry registry;
    for (const KUID& kuid : {kK, kK2, kA})
        registry.Add(new KestroBaseSpec(kuid, Nyx::PString(), Nyx::String("/assets"), Nyx::String("x"), ChunkRef()));
    std::vector<KUID> asked;
    ScriptedDaemon daemon([&](uint32_t number, const std::string& payload) -> std::optional<std::string> {
        if (number != 21)
            return std::nullopt;
        TBuffer in;
        in.WriteBytes(payload.data(), uint32_t(payload.size()));
        in.Rewind();
        KUID kuid;
        ReadKUID(in, kuid);
        uint32_t mask = 0;
        in.ReadInt32(mask, 0);
        EXPECT_EQ(AssetRecord::kMaskFlags, mask);
        asked.push_back(kuid);
        return InfoReply(kuid, kuid == kA);
    });

    Issuer a(kA), b(kB);
    Rights x({"x"});
    GSOSecurityToken clean(nullptr, &b, kK, x.get());
    GSOSecurityToken more(nullptr, &b, kK2, x.get());
    EXPECT_FALSE(clean.OwnerLocallyModified());
    EXPECT_FALSE(clean.OwnerLocallyModified());
    EXPECT_FALSE(more.OwnerLocallyModified());
    EXPECT_EQ((std::vector<KUID>{kK, kK2}), asked);

    // A modified asset ends the walk with true.
    GSOSecurityToken modified(nullptr, &a, kA, x.get());
    EXPECT_TRUE(modified.OwnerLocallyModified());
    EXPECT_TRUE(modified.OwnerLocallyModified());
    EXPECT_EQ(3u, asked.size());
}

}  // namespace
