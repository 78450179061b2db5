#include "scriptapi/security/GSOSecurityToken.h"

#include <algorithm>
#include <utility>

#include "core/process/Log.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/startup/SystemClasses.h"
#include "scriptapi/world/WorldListItem.h"

using namespace GSRuntime;

namespace {

constexpr MemberNative<GSOSecurityToken> kNatives[] = {
    {"$bool@SecurityToken::IsOwnerLocallyModified()", &GSOSecurityToken::NativeIsOwnerLocallyModified},
};

}  // namespace

const Nyx::PString& GSOSecurityToken::DuplicateTokenRight()
{
    static const Nyx::PString right("duplicate-token");
    return right;
}

const Nyx::PString& GSOSecurityToken::InfoURLRight()
{
    static const Nyx::PString right("info-url");
    return right;
}

GSOSecurityToken::GSOSecurityToken(GSContext* context, WorldListItem* issuer, const KUID& kuid, GSArray* rights)
{
    IssuerEntry entry{issuer, {}};
    SetRights(entry.records[kuid], rights);
    issuers_.push_back(std::move(entry));
    AttachScriptClass(context);
}

GSOSecurityToken::GSOSecurityToken(GSContext* context, const GSOSecurityToken& source) : issuers_(source.issuers_)
{
    AttachScriptClass(context);
}

void GSOSecurityToken::AttachScriptClass(GSContext* context)
{
    // Without a context there is no world for an instance to live in.
    GSClass* cls = GetSystemClass(SystemClass::kSecurityToken);
    if (cls && context)
        AttachClass(cls, context);
}

void GSOSecurityToken::RegisterNatives(GSMachine& machine)
{
    // Interned before any script can ask for them.
    DuplicateTokenRight();
    InfoURLRight();
    RegisterMemberNatives(machine, "SecurityToken", kNatives);
}

void GSOSecurityToken::SetRights(RightsSet& set, GSArray* rights)
{
    set.clear();
    if (!rights)
        return;
    for (int32_t i = 0; i < rights->Count(); ++i) {
        GSSlot value = 0;
        if (!rights->Get(i, value) || !IsReference(value))
            continue;
        if (const GSString* text = GSString::OfPart(ReferencePart(value)))
            set.insert(Nyx::PString(text->View()));
    }
}

const GSOSecurityToken::IssuerEntry* GSOSecurityToken::FindIssuer(const WorldListItem* issuer) const noexcept
{
    for (const IssuerEntry& entry : issuers_) {
        if (entry.issuer == issuer)
            return &entry;
    }
    return nullptr;
}

GSOSecurityToken::IssuerEntry* GSOSecurityToken::FindIssuer(const WorldListItem* issuer) noexcept
{
    return const_cast<IssuerEntry*>(std::as_const(*this).FindIssuer(issuer));
}

bool GSOSecurityToken::HasRight(const WorldListItem* issuer, const GSOSecurityToken& token, const KUID& kuid,
                                const Nyx::PString& right)
{
    const IssuerEntry* entry = token.FindIssuer(issuer);
    if (!entry)
        return false;
    auto record = entry->records.find(kuid);
    return record != entry->records.end() && record->second.count(right) != 0;
}

GSOSecurityToken* GSOSecurityToken::ReIssueToken(GSContext* context, WorldListItem* caller, const KUID& kuid,
                                                 GSArray* rights) const
{
    RightsSet requested;
    SetRights(requested, rights);
    if (requested.empty() || !caller)
        return nullptr;
    const KUID own = caller->GetKUID();

    bool isIssuer = false;
    bool holdsDuplicate = false;
    for (const IssuerEntry& entry : issuers_) {
        if (entry.issuer == caller)
            isIssuer = true;
        if (holdsDuplicate)
            continue;
        auto record = entry.records.find(own);
        if (record != entry.records.end() && record->second.count(DuplicateTokenRight()))
            holdsDuplicate = true;
    }
    if (!isIssuer && !holdsDuplicate) {
        LogMessage("GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security token (%s)",
                   own.ToString().c_str());
        return nullptr;
    }

    auto* copy = new GSOSecurityToken(context, *this);
    if (!isIssuer) {
        // A holder of the duplicate right passes the token on without
        // rights of its own to grant: the new record is empty.
        copy->issuers_.push_back(IssuerEntry{caller, {}});
        copy->issuers_.back().records[kuid];
    } else if (!holdsDuplicate) {
        IssuerEntry* entry = copy->FindIssuer(caller);
        auto record = entry->records.find(own);
        if (record != entry->records.end())
            std::erase_if(record->second, [&](const Nyx::PString& right) { return !requested.count(right); });
    }
    return copy;
}

GSOSecurityToken* GSOSecurityToken::MergeSecurityTokens(GSContext* context, GSArray* tokens)
{
    if (!tokens)
        return nullptr;
    GSOSecurityToken* result = nullptr;
    for (int32_t i = 0; i < tokens->Count(); ++i) {
        GSSlot value = 0;
        if (!tokens->Get(i, value) || !IsReference(value))
            continue;
        auto* token = dynamic_cast<GSOSecurityToken*>(GSScriptInstance::OfPart(ReferencePart(value))->owner);
        if (!token)
            continue;
        if (!result) {
            result = new GSOSecurityToken(context, *token);
            continue;
        }
        for (const IssuerEntry& entry : token->issuers_) {
            IssuerEntry* into = result->FindIssuer(entry.issuer);
            if (!into) {
                result->issuers_.push_back(entry);
                continue;
            }
            for (const auto& [kuid, rights] : entry.records)
                into->records[kuid].insert(rights.begin(), rights.end());
        }
    }
    return result;
}

bool GSOSecurityToken::OwnerLocallyModified() const
{
    for (const IssuerEntry& entry : issuers_) {
        for (const auto& record : entry.records) {
            KestroBaseSpec* spec = FindKestroBaseSpec(record.first, false);
            if (!spec)
                continue;
            const bool modified = spec->IsLocallyModified();
            spec->Release();
            if (modified)
                return true;
        }
    }
    return false;
}

void GSOSecurityToken::NativeIsOwnerLocallyModified(GSThread& thread)
{
    thread.stack.PushBool(OwnerLocallyModified());
}
