#include "scriptapi/data/GSOKUIDList.h"

#include "gs/runtime/interp/GSThread.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/startup/SystemClasses.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/KUIDObjectCache.h"

using GSRuntime::GSThread;

namespace {

// The three changing natives other than Clear share this one text.
constexpr const char* kLocked = "KUIDList.Copy> list is locked";
constexpr const char* kClearLocked = "KUIDList.Clear> list is locked";
constexpr const char* kIndexOutOfRange = "KUIDList.GetIndexedKUID> index out of range";

constexpr MemberNative<GSOKUIDList> kNatives[] = {
    {"$int@KUIDList::CountKUIDs()", &GSOKUIDList::NativeCountKUIDs},
    {"$void@KUIDList::AddKUID(KUID)", &GSOKUIDList::NativeAddKUID},
    {"$void@KUIDList::RemoveKUID(KUID)", &GSOKUIDList::NativeRemoveKUID},
    {"$bool@KUIDList::HasKUID(KUID)", &GSOKUIDList::NativeHasKUID},
    {"$KUID@KUIDList::GetIndexedKUID(int)", &GSOKUIDList::NativeGetIndexedKUID},
    {"$void@KUIDList::Copy(KUIDList)", &GSOKUIDList::NativeCopy},
    {"$void@KUIDList::Clear()", &GSOKUIDList::NativeClear},
    {"$bool@KUIDList::IsLocked()", &GSOKUIDList::NativeIsLocked},
};

}  // namespace

GSOKUIDList::GSOKUIDList(GSRuntime::GSContext*) : locked_(false) {}

GSOKUIDList::GSOKUIDList(GSRuntime::GSContext*, const KUIDRing& entries) : locked_(true)
{
    CopyEntries(list_, entries);
}

GSOKUIDList* GSOKUIDList::Create(GSRuntime::GSContext* context)
{
    return ScriptObjects::Adopt(new GSOKUIDList(context), ScriptClass(), context);
}

GSOKUIDList* GSOKUIDList::CreateLocked(GSRuntime::GSContext* context, const KUIDRing& entries)
{
    return ScriptObjects::Adopt(new GSOKUIDList(context, entries), ScriptClass(), context);
}

void GSOKUIDList::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "KUIDList", kNatives);
}

GSRuntime::GSClass* GSOKUIDList::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kKUIDList);
}

bool GSOKUIDList::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "KUIDList.gsl", "KUIDList", SystemClassSlot(SystemClass::kKUIDList));
}

void GSOKUIDList::CopyEntries(KUIDRing& to, const KUIDRing& from)
{
    for (const KUID& kuid : from)
        to.Append(kuid);
}

bool GSOKUIDList::CheckUnlocked(GSThread& thread, const char* text)
{
    if (!locked_)
        return true;
    ParamAccess::Raise(thread, text);
    return false;
}

void GSOKUIDList::NativeCountKUIDs(GSThread& thread)
{
    thread.stack.PushInt(int32_t(list_.Count()));
}

void GSOKUIDList::NativeAddKUID(GSThread& thread)
{
    GSOKUID* kuid = nullptr;
    if (!CheckUnlocked(thread, kLocked) || !ParamAccess::GetObjectParam(1, thread, kuid, false))
        return;
    if (list_.Find(kuid->Value()) == list_.end())
        list_.Append(kuid->Value());
}

void GSOKUIDList::NativeRemoveKUID(GSThread& thread)
{
    GSOKUID* kuid = nullptr;
    if (!CheckUnlocked(thread, kLocked) || !ParamAccess::GetObjectParam(1, thread, kuid, false))
        return;
    if (auto it = list_.Find(kuid->Value()); it != list_.end())
        list_.Erase(it);
}

void GSOKUIDList::NativeHasKUID(GSThread& thread)
{
    GSOKUID* kuid = nullptr;
    if (ParamAccess::GetObjectParam(1, thread, kuid, false))
        thread.stack.PushBool(list_.Find(kuid->Value()) != list_.end());
}

void GSOKUIDList::NativeGetIndexedKUID(GSThread& thread)
{
    const uint32_t index = uint32_t(GSRuntime::SlotInt(thread.stack.Local(1)));
    if (index >= list_.Count()) {
        ParamAccess::Raise(thread, kIndexOutOfRange);
        return;
    }
    KUIDObjectCache::Push(thread, Context(), *list_.IteratorAt(index));
}

void GSOKUIDList::NativeCopy(GSThread& thread)
{
    GSOKUIDList* source = nullptr;
    if (!CheckUnlocked(thread, kLocked) || !ParamAccess::GetObjectParam(1, thread, source, false))
        return;
    if (source == this)
        return;
    list_.Clear();
    CopyEntries(list_, source->list_);
}

void GSOKUIDList::NativeClear(GSThread& thread)
{
    if (CheckUnlocked(thread, kClearLocked))
        list_.Clear();
}

void GSOKUIDList::NativeIsLocked(GSThread& thread)
{
    thread.stack.PushBool(locked_);
}
