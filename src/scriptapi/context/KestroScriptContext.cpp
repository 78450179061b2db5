#include "scriptapi/context/KestroScriptContext.h"

#include <cctype>
#include <memory>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/kuid/KUIDRing.h"
#include "core/streams/TStream.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/support/ScriptLogHook.h"
#include "kad/kinds/KindQualifierCategoryTable.h"
#include "kad/requests/CategoryExpression.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KADRequests.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/asset/GSOAsset.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/data/KUIDObjectCache.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/library/NativeInterface.h"
#include "scriptapi/startup/SystemClasses.h"

using namespace GSRuntime;

namespace {

constexpr MemberNative<KestroScriptContext> kNatives[] = {
    {"$float@KestroScriptBase::GetSeconds()", &KestroScriptContext::NativeGetSeconds},
    {"$Library@KestroScriptBase::GetLibrary(KUID)", &KestroScriptContext::NativeGetLibrary},
    {"$Asset@KestroScriptBase::FindAsset(KUID)", &KestroScriptContext::NativeFindAsset},
    {"$Asset[]@KestroScriptBase::GetAssetList(string)", &KestroScriptContext::NativeGetAssetList},
    {"$Asset[]@KestroScriptBase::GetAssetList(string,string)", &KestroScriptContext::NativeGetAssetListInCategory},
    {"$KUID[]@KestroScriptBase::SearchAssets(string,bool)", &KestroScriptContext::NativeSearchAssets},
    {"$Asset[]@KestroScriptBase::FindUpdatedAssets()", &KestroScriptContext::NativeFindUpdatedAssets},
    {"$Soup@KestroScriptBase::KestroSystemCall(string,Soup)", &KestroScriptContext::NativeKestroSystemCall},
    {"$bool@KestroScriptBase::OpenURL(string)", &KestroScriptContext::NativeOpenURL},
    {"$void@KestroScriptBase::Log(string)", &KestroScriptContext::NativeLog},
};

std::unique_ptr<KADFilterElement> BoolElement(uint32_t field)
{
    return std::make_unique<KADFilterElementBool>(field);
}

std::string Cased(std::string_view text, int (*convert)(int))
{
    std::string out(text);
    for (char& c : out)
        c = char(convert(static_cast<unsigned char>(c)));
    return out;
}

constexpr const char* kZeroAssets = "World.GetAssetList> warning: found zero assets of type '%s'";

}  // namespace

KestroScriptContext::KestroScriptContext(GSMachine* machine) : GSContext(machine), nativeInterface_(KNICreateContext())
{
}

KestroScriptContext::~KestroScriptContext()
{
    // Libraries first: their plug-ins may still reach the handle.
    libraries.Clear();
    KNIReleaseContext(nativeInterface_);
    nativeInterface_ = nullptr;
}

void KestroScriptContext::SetSystemMenuIcon(GSOLibrary*, const KUID&, const Nyx::PString&, const Nyx::PString&) {}

void KestroScriptContext::BlinkSystemMenuIcon(GSOLibrary*, int32_t) {}

void KestroScriptContext::ShowSystemMenuIconMenu(GSOLibrary*, GSObject*) {}

void KestroScriptContext::SystemCall(ChunkRef& result, const Nyx::PString&, const ChunkRef& arguments)
{
    // Written out as a host would send it, then dropped: no host listens.
    ConfigToTextBuffer(arguments);
    result.Release();
}

bool KestroScriptContext::OpenURL(const Nyx::PString&)
{
    return false;
}

void KestroScriptContext::LibraryAdded(GSOLibrary*) {}

KestroScriptContext* KestroScriptContext::ParentContext()
{
    return nullptr;
}

void KestroScriptContext::RegisterNatives(GSMachine& machine)
{
    RegisterContextNatives(machine, "KestroScriptBase", kNatives);
}

void KestroScriptContext::NativeGetSeconds(GSThread& thread)
{
    thread.stack.PushFloat(ToolClockSeconds());
}

void KestroScriptContext::NativeGetLibrary(GSThread& thread)
{
    GSOKUID* kuid = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, kuid, false))
        return;
    // The script's class derives from Library: the Library part is pushed.
    GSOLibrary* library = GetScriptLibrary(kuid->Value());
    thread.stack.PushObjectRef(library, GetSystemClass(SystemClass::kLibrary));
}

void KestroScriptContext::NativeSearchAssets(GSThread& thread)
{
    Nyx::PString text;
    if (!ParamAccess::GetPStringParam(false, text, thread, 1))
        return;
    std::string upper(text.View());
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const bool localOnly = SlotInt(thread.stack.Local(2)) != 0;

    KADFilterElementGroup filter;
    if (localOnly) {
        filter.AddChild(BoolElement(KADFilterElementBool::kLocal));
        filter.AddChild(BoolElement(KADFilterElementBool::kLocallyAvailable));
        filter.AddChild(BoolElement(KADFilterElementBool::kLocallyEnabled));
    }
    filter.AddChild(BoolElement(KADFilterElementBool::kListingPrivilege));
    KADFilterElementGroup::AddGroup(filter, BoolElement(KADFilterElementBool::kObsolete));
    filter.AddChild(
        std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList, Nyx::PString(upper)));
    KUIDRing found;
    KADRequests::SearchAssets(&filter, found);

    auto* array = new GSArray(this, GSArray::kReferenceElements);
    int32_t next = 0;
    for (const KUID& kuid : found) {
        bool created = false;
        GSOKUID* object = KUIDObjectCache::FindOrCreate(this, kuid, &created);
        if (!object)
            continue;
        GSSlot* part = GSObject::CastToClass(object->GetInstance(), GSOKUID::ScriptClass());
        // A new object's count moves into the array; a found one gains one.
        array->SetObjectAt(next++, MakeReference(part), part && !created);
        if (created && !part)
            ReleasePart(object->GetInstance());
    }
    ScriptObjects::PushNew(thread, array);
}

void KestroScriptContext::NativeKestroSystemCall(GSThread& thread)
{
    Nyx::PString name;
    GSOSoup* arguments = nullptr;
    if (!ParamAccess::GetPStringParam(false, name, thread, 1) ||
        !ParamAccess::GetObjectParam(2, thread, arguments, false))
        return;
    ChunkRef result;
    SystemCall(result, name, arguments->Soup());
    ScriptObjects::PushNew(thread, GSOSoup::CreateLocked(this, result));
}

void KestroScriptContext::NativeOpenURL(GSThread& thread)
{
    Nyx::PString url;
    if (ParamAccess::GetPStringParam(false, url, thread, 1))
        thread.stack.PushBool(OpenURL(url));
}

void KestroScriptContext::NativeLog(GSThread& thread)
{
    Nyx::PString text;
    ParamAccess::GetPStringParam(true, text, thread, 1);
    ScriptLog("%s", text.c_str());
}

void KestroScriptContext::NativeFindAsset(GSThread& thread)
{
    GSOKUID* kuid = nullptr;
    if (ParamAccess::GetObjectParam(1, thread, kuid, false))
        GSOAsset::Push(thread, this, kuid->Value());
}

void KestroScriptContext::PushAssetArray(GSThread& thread, const KUIDRing& kuids, bool newest)
{
    auto* array = new GSArray(this, GSArray::kReferenceElements);
    int32_t next = 0;
    for (const KUID& found : kuids) {
        GSOAsset* asset = GSOAsset::GetAssetObject(this, newest ? KADRequests::GetLatestKUID(found) : found);
        if (!asset)
            continue;
        // A KUID without an object leaves no gap; the object's reference
        // moves into the array.
        GSSlot* part = GSObject::CastToClass(asset->GetInstance(), GSOAsset::ScriptClass());
        if (part)
            array->SetObjectAt(next++, MakeReference(part), false);
        else
            ReleasePart(asset->GetInstance());
    }
    ScriptObjects::PushNew(thread, array);
}

void KestroScriptContext::SearchKind(GSThread& thread, const std::string& kind, const Nyx::String& code)
{
    KUIDRing found;
    if (code.Empty()) {
        ScriptLog(kZeroAssets, kind.c_str());
        PushAssetArray(thread, found, false);
        return;
    }
    KADFilterElementGroup filter;
    filter.AddChild(BoolElement(KADFilterElementBool::kLocal));
    filter.AddChild(BoolElement(KADFilterElementBool::kLocallyAvailable));
    filter.AddChild(BoolElement(KADFilterElementBool::kLocallyEnabled));
    filter.AddChild(BoolElement(KADFilterElementBool::kListingPrivilege));
    KADFilterElementGroup::AddGroup(filter, BoolElement(KADFilterElementBool::kObsolete));
    filter.AddChild(
        std::make_unique<KADFilterElementString>(KADFilterElementString::kCategoryList, Nyx::PString(code.View())));
    KADRequests::SearchAssets(&filter, found);
    if (found.Count() == 0)
        ScriptLog(kZeroAssets, kind.c_str());
    PushAssetArray(thread, found, false);
}

void KestroScriptContext::NativeGetAssetList(GSThread& thread)
{
    Nyx::PString kind;
    if (!ParamAccess::GetPStringParam(false, kind, thread, 1))
        return;
    const std::string lower = Cased(kind.View(), &std::tolower);
    SearchKind(thread, lower, FindKindCategory(Nyx::PString(lower), Nyx::PString()));
}

void KestroScriptContext::NativeGetAssetListInCategory(GSThread& thread)
{
    Nyx::PString kind;
    Nyx::PString category;
    if (!ParamAccess::GetPStringParam(false, kind, thread, 1) ||
        !ParamAccess::GetPStringParam(false, category, thread, 2))
        return;
    const std::string lower = Cased(kind.View(), &std::tolower);
    const std::string upper = Cased(category.View(), &std::toupper);
    const Nyx::String code = FindKindCategory(Nyx::PString(lower), Nyx::PString());
    Nyx::String merged;
    if (!code.Empty())
        MergeCategoryLists(merged, code.c_str(), upper.c_str());
    SearchKind(thread, lower, merged);
}

void KestroScriptContext::NativeFindUpdatedAssets(GSThread& thread)
{
    KADFilterElementGroup filter;
    filter.AddChild(BoolElement(KADFilterElementBool::kLocal));
    KADFilterElementGroup::AddGroup(filter, BoolElement(KADFilterElementBool::kObsolete));
    KADFilterElementGroup::AddGroup(filter, BoolElement(KADFilterElementBool::kUpToDate));
    KUIDRing found;
    KADRequests::SearchAssets(&filter, found);
    PushAssetArray(thread, found, true);
}
