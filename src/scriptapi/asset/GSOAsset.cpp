#include "scriptapi/asset/GSOAsset.h"

#include <cmath>
#include <map>
#include <string>
#include <tuple>

#include "config/kuid/KUIDRing.h"
#include "config/tree/TDBContainerTag.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/natives/NativeParams.h"
#include "kad/client/AssetHandle.h"
#include "kad/requests/KADRequests.h"
#include "nyx/base/Time.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/data/GSOKUIDList.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/data/GSOStringTable.h"
#include "scriptapi/data/KUIDObjectCache.h"
#include "scriptapi/image/GSOImage.h"
#include "scriptapi/startup/SystemClasses.h"

using namespace GSRuntime;

namespace {

constexpr MemberNative<GSOAsset> kNatives[] = {
    {"$KUID@Asset::GetKUID()", &GSOAsset::NativeGetKUID},
    {"$string@Asset::GetLocalisedName()", &GSOAsset::NativeGetLocalisedName},
    {"$string@Asset::GetLocalisedDescription()", &GSOAsset::NativeGetLocalisedDescription},
    {"$string@Asset::GetCreatorName()", &GSOAsset::NativeGetCreatorName},
    {"$KUID@Asset::LookupKUIDTable(string)", &GSOAsset::NativeLookupKUIDTable},
    {"$Asset@Asset::FindAsset(string)", &GSOAsset::NativeFindAsset},
    {"$StringTable@Asset::GetStringTable()", &GSOAsset::NativeGetStringTable},
    {"$Soup@Asset::GetConfigSoup()", &GSOAsset::NativeGetConfigSoup},
    {"$KUIDList@Asset::GetDependencyList()", &GSOAsset::NativeGetDependencyList},
    {"$bool@Asset::SupportsKestroBuildVersion(float)", &GSOAsset::NativeSupportsKestroBuildVersion},
    {"$Image@Asset::LoadImage(string)", &GSOAsset::NativeLoadImage},
    {"$bool@Asset::IsLocallyModified()", &GSOAsset::NativeIsLocallyModified},
    {"$string@Asset::GetInfoURL()", &GSOAsset::NativeGetInfoURL},
    {"$bool@Asset::GetIsFavorite()", &GSOAsset::NativeGetIsFavorite},
    {"$void@Asset::SetIsFavorite(bool)", &GSOAsset::NativeSetIsFavorite},
    {"$Asset@Asset::GetParent()", &GSOAsset::NativeGetParent},
    {"$string@Asset::GetCategoryEra()", &GSOAsset::NativeGetCategoryEra},
    {"$string@Asset::GetCategoryRegion()", &GSOAsset::NativeGetCategoryRegion},
};

struct KUIDOrder {
    bool operator()(const KUID& a, const KUID& b) const noexcept
    {
        return std::tie(a.user, a.content, a.version) < std::tie(b.user, b.content, b.version);
    }
};

// Newest first.
GSOAsset* g_head = nullptr;
size_t g_count = 0;

// Requested KUID -> the KUID the daemon resolved it to, where they differ.
// Never pruned: an old version stays resolved for the life of the process.
std::map<KUID, KUID, KUIDOrder>& Resolutions()
{
    static std::map<KUID, KUID, KUIDOrder> map;
    return map;
}

bool SameKUID(const KUID& a, const KUID& b) noexcept
{
    return a.user == b.user && a.content == b.content && a.version == b.version;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return out;
}

// Pushes a native object's part of the class with the reference the caller
// holds on its instance; null pushes a script null.
void PushHeld(GSThread& thread, GSObjectReference* object, const GSClass* cls)
{
    if (!object) {
        thread.stack.PushInstance(nullptr, false);
        return;
    }
    GSSlot* part = GSObject::CastToClass(object->GetInstance(), cls);
    if (!part || !thread.stack.PushInstance(part, false)) {
        ReleasePart(object->GetInstance());
        if (!part)
            thread.stack.PushInstance(nullptr, false);
    }
}

}  // namespace

GSOAsset::GSOAsset(GSContext*, const KUID& kuid) : kuid_(kuid), lastUsed_(Nyx::Time::GetTickCount()) {}

GSOAsset::~GSOAsset()
{
    config_.Release();
    if (prev_)
        prev_->next_ = next_;
    else if (g_head == this)
        g_head = next_;
    if (next_)
        next_->prev_ = prev_;
    --g_count;
    if (spec_)
        spec_->Release();
}

GSOAsset* GSOAsset::Find(GSContext* context, const KUID& kuid)
{
    for (GSOAsset* at = g_head; at; at = at->next_) {
        if (at->Context() == context && SameKUID(at->kuid_, kuid)) {
            AddPartReference(at->GetInstance());
            at->lastUsed_ = Nyx::Time::GetTickCount();
            return at;
        }
    }
    return nullptr;
}

GSOAsset* GSOAsset::GetAssetObject(GSContext* context, const KUID& requested)
{
    if (requested.IsNull())
        return nullptr;
    KUID kuid = requested;
    if (auto it = Resolutions().find(kuid); it != Resolutions().end()) {
        kuid = it->second;
        if (kuid.IsNull())
            return nullptr;
    }
    if (GSOAsset* found = Find(context, kuid))
        return found;
    const KUID resolved = KADRequests::ResolveKUID(kuid);
    if (!SameKUID(resolved, kuid))
        Resolutions()[kuid] = resolved;
    if (resolved.IsNull())
        return nullptr;
    if (GSOAsset* found = Find(context, resolved))
        return found;
    auto* made = new GSOAsset(context, resolved);
    // In the list before its class attaches, so its destructor always
    // finds it there.
    made->next_ = g_head;
    if (g_head)
        g_head->prev_ = made;
    g_head = made;
    ++g_count;
    return ScriptObjects::Adopt(made, ScriptClass(), context);
}

void GSOAsset::Push(GSThread& thread, GSContext* context, const KUID& kuid)
{
    PushHeld(thread, GetAssetObject(context, kuid), ScriptClass());
}

size_t GSOAsset::Count() noexcept { return g_count; }

size_t GSOAsset::ResolutionCount() noexcept { return Resolutions().size(); }

bool GSOAsset::ImageNameAllowed(std::string_view name) noexcept
{
    if (!name.empty() && (name.front() == '/' || name.front() == '\\'))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

void GSOAsset::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "Asset", kNatives);
}

GSClass* GSOAsset::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kAsset);
}

bool GSOAsset::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "asset.gsl", "Asset", SystemClassSlot(SystemClass::kAsset));
}

const AssetRecord& GSOAsset::Info()
{
    if (!infoLoaded_) {
        KADRequests::GetAssetInfo(kuid_, info_, AssetRecord::kMaskAll);
        infoLoaded_ = true;
    }
    return info_;
}

KestroBaseSpec* GSOAsset::Spec()
{
    if (!spec_)
        spec_ = FindKestroBaseSpec(kuid_, false);
    return spec_;
}

void GSOAsset::NativeGetKUID(GSThread& thread)
{
    KUIDObjectCache::Push(thread, Context(), kuid_);
}

void GSOAsset::NativeGetLocalisedName(GSThread& thread)
{
    thread.stack.PushString(Info().displayName.View());
}

void GSOAsset::NativeGetLocalisedDescription(GSThread& thread)
{
    thread.stack.PushString(KADRequests::GetAssetDescription(kuid_).View());
}

void GSOAsset::NativeGetCreatorName(GSThread& thread)
{
    // The record's first group names the creator: its number and name.
    thread.stack.PushString(Info().firstGroupKey.View());
}

bool GSOAsset::LookupTable(GSThread& thread, KUID& out)
{
    Nyx::PString param;
    if (!ParamAccess::GetPStringParam(false, param, thread, 1))
        return false;
    const Nyx::PString name(Lower(param.View()));
    ChunkRef table;
    if (KestroBaseSpec* spec = Spec()) {
        spec->AddReference();
        table = TDBContainerTag::GetChildContainer(spec->Config(), Nyx::PString("kuid-table"));
        spec->Release();
    }
    out = table ? TDBContainerTag::GetKUID(table, name, KUID::Null) : KUID::Null;
    if (!out.IsNull())
        return true;
    std::string message = "Asset.FindKUID> unable to find '" + std::string(name.View()) + "' in kuid-table\n";
    message += "Available kuids are: ";
    const uint32_t count = table ? table->GetChildCount() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        message += '"';
        message += TDBContainerTag::GetChildName(table, i).View();
        message += "\" ";
    }
    ParamAccess::Raise(thread, message.c_str());
    return false;
}

void GSOAsset::NativeLookupKUIDTable(GSThread& thread)
{
    KUID found;
    if (LookupTable(thread, found))
        KUIDObjectCache::Push(thread, Context(), found);
}

void GSOAsset::NativeFindAsset(GSThread& thread)
{
    KUID found;
    if (LookupTable(thread, found))
        Push(thread, Context(), found);
}

void GSOAsset::NativeGetStringTable(GSThread& thread)
{
    KestroBaseSpec* spec = Spec();
    if (!spec) {
        thread.stack.PushInstance(nullptr, false);
        return;
    }
    // The table holds the description counted for as long as it lives.
    GSOStringTable* table =
        ScriptObjects::Adopt(new GSOStringTable(Context(), spec), GSOStringTable::ScriptClass(), Context());
    ScriptObjects::PushNew(thread, table);
}

void GSOAsset::NativeGetConfigSoup(GSThread& thread)
{
    if (!config_ || config_->GetType() == 0)
        config_ = KADRequests::GetAssetConfig(kuid_);
    ScriptObjects::PushNew(thread, GSOSoup::CreateLocked(Context(), config_));
}

void GSOAsset::NativeGetDependencyList(GSThread& thread)
{
    KUIDRing dependencies;
    KADRequests::GetDependencyList(kuid_, dependencies);
    ScriptObjects::PushNew(thread, GSOKUIDList::CreateLocked(Context(), dependencies));
}

void GSOAsset::NativeSupportsKestroBuildVersion(GSThread& thread)
{
    const float asked = FloatParam(thread, 1);
    const AssetRecord& info = Info();
    if (!info.GetFlag(AssetRecord::kFlagHasBuild)) {
        thread.stack.PushBool(false);
        return;
    }
    // Two decimals each, truncated toward zero: 3.49 falls short of 3.5.
    // The products are taken in single precision, so 3.51 reads as 351.
    const float have = std::trunc(info.build * 100.0f);
    const float want = std::trunc(asked * 100.0f);
    thread.stack.PushBool(have >= want);
}

void GSOAsset::NativeLoadImage(GSThread& thread)
{
    Nyx::PString param;
    if (!ParamAccess::GetPStringParam(false, param, thread, 1))
        return;
    const std::string name = Lower(param.View());
    // A script names a file of its asset's folder, never one outside it.
    if (!ImageNameAllowed(name)) {
        thread.stack.PushInstance(nullptr, false);
        return;
    }
    AssetHandleRef handle = KADRequests::OpenAsset(kuid_, false, nullptr);
    Nyx::PString archive;
    Nyx::File::Path folder;
    GSOImage* image = nullptr;
    // Taken inside the folder, so that no link leads the load out of it.
    if (handle.IsValid() && KADRequests::GetAssetFolder(handle, archive, folder))
        image = GSOImage::CreateFromFile(Context(), Nyx::PString(folder.View()), Nyx::PString(name));
    handle.Release();
    ScriptObjects::PushNew(thread, image);
}

void GSOAsset::NativeIsLocallyModified(GSThread& thread)
{
    AssetRecord record;
    const bool asked = KADRequests::GetAssetInfo(kuid_, record, AssetRecord::kMaskFlags);
    thread.stack.PushBool(!asked || record.IsLocallyModified());
}

void GSOAsset::NativeGetInfoURL(GSThread& thread)
{
    ChunkRef fresh = KADRequests::GetAssetConfig(kuid_);
    const Nyx::PString url =
        fresh ? TDBContainerTag::GetString(fresh, Nyx::PString("info-url"), Nyx::PString()) : Nyx::PString();
    fresh.Release();
    thread.stack.PushString(url.View());
}

void GSOAsset::NativeGetIsFavorite(GSThread& thread)
{
    const uint8_t state = Info().favouriteState;
    thread.stack.PushBool(state == 4 || state == 5);
}

void GSOAsset::NativeSetIsFavorite(GSThread& thread)
{
    KADRequests::SetFavorite(kuid_, BoolParam(thread, 1));
    infoLoaded_ = false;
}

void GSOAsset::NativeGetParent(GSThread& thread)
{
    const KUID parent = Info().parentKUID;
    if (parent.IsNull()) {
        thread.stack.PushInstance(nullptr, false);
        return;
    }
    Push(thread, Context(), parent);
}

void GSOAsset::NativeGetCategoryEra(GSThread& thread)
{
    thread.stack.PushString(Info().eraText.View());
}

void GSOAsset::NativeGetCategoryRegion(GSThread& thread)
{
    thread.stack.PushString(Info().regionText.View());
}
