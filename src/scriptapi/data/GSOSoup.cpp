#include "scriptapi/data/GSOSoup.h"

#include <unordered_set>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "config/tree/TagTreeOps.h"
#include "gs/runtime/interp/GSThread.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/startup/SystemClasses.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/KUIDObjectCache.h"

using GSRuntime::GSThread;

namespace {

constexpr const char* kSetLocked = "Soup.SetNamedTag> parent soup is locked";
constexpr const char* kSetKUIDLocked = "Soup.SetNamedKUID> parent soup is locked";
constexpr const char* kRemoveLocked = "Soup.RemoveNamedTag> parent soup is locked";
constexpr const char* kCopyLocked = "Soup.Copy> parent soup is locked";
constexpr const char* kClearLocked = "Soup.Clear> parent soup is locked";
constexpr const char* kSubSoupLocked = "Soup.SetNamedTag> sub-soup parameter is locked";
constexpr const char* kSubSoupCycle = "Soup.SetNamedTag> sub-soup parameter contains this soup";
constexpr const char* kCopyTooDeep = "Soup.Copy> soup parameter is nested too deep";

constexpr MemberNative<GSOSoup> kNatives[] = {
    {"$int@Soup::CountTags()", &GSOSoup::NativeCountTags},
    {"$string@Soup::GetNamedTag(string)", &GSOSoup::NativeGetNamedTag},
    {"$Soup@Soup::GetNamedSoup(string)", &GSOSoup::NativeGetNamedSoup},
    {"$string@Soup::GetIndexedTagName(int)", &GSOSoup::NativeGetIndexedTagName},
    {"$int@Soup::GetIndexForNamedTag(string)", &GSOSoup::NativeGetIndexForNamedTag},
    {"$KUID@Soup::GetNamedTagAsKUID(string)", &GSOSoup::NativeGetNamedTagAsKUID},
    {"$int@Soup::GetNamedTagAsInt(string)", &GSOSoup::NativeGetNamedTagAsInt},
    {"$int@Soup::GetNamedTagAsInt(string,int)", &GSOSoup::NativeGetNamedTagAsIntOr},
    {"$float@Soup::GetNamedTagAsFloat(string)", &GSOSoup::NativeGetNamedTagAsFloat},
    {"$float@Soup::GetNamedTagAsFloat(string,float)", &GSOSoup::NativeGetNamedTagAsFloatOr},
    {"$void@Soup::SetNamedTag(string,string)", &GSOSoup::NativeSetString},
    {"$void@Soup::SetNamedTag(string,float)", &GSOSoup::NativeSetFloat},
    {"$void@Soup::SetNamedTag(string,int)", &GSOSoup::NativeSetInt},
    {"$void@Soup::SetNamedTag(string,KUID)", &GSOSoup::NativeSetKUID},
    {"$void@Soup::SetNamedSoup(string,Soup)", &GSOSoup::NativeSetNamedSoup},
    {"$void@Soup::RemoveNamedTag(string)", &GSOSoup::NativeRemoveNamedTag},
    {"$void@Soup::Copy(Soup)", &GSOSoup::NativeCopy},
    {"$void@Soup::Clear()", &GSOSoup::NativeClear},
    {"$bool@Soup::IsLocked()", &GSOSoup::NativeIsLocked},
};

// Whether `target` is `root` or a container somewhere below it. The walk
// keeps its own list rather than recursing, and visits each container
// once, so neither a deep nor an already tangled tree can exhaust it.
bool HoldsContainer(const ChunkRef& root, const ACSChunk* target)
{
    if (!root || !target)
        return false;
    std::vector<ChunkRef> pending{root};
    std::unordered_set<const ACSChunk*> seen;
    while (!pending.empty()) {
        ChunkRef node = std::move(pending.back());
        pending.pop_back();
        if (node.Get() == target)
            return true;
        if (!seen.insert(node.Get()).second)
            continue;
        const uint32_t count = node.ChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            if (ChunkRef child = TDBContainerTag::GetChildContainerAt(node, i))
                pending.push_back(std::move(child));
        }
    }
    return false;
}

}  // namespace

GSOSoup::GSOSoup(GSRuntime::GSContext*) : locked_(false) {}

GSOSoup::GSOSoup(GSRuntime::GSContext*, const ChunkRef& container) : soup_(container), locked_(true) {}

GSOSoup* GSOSoup::Create(GSRuntime::GSContext* context)
{
    return ScriptObjects::Adopt(new GSOSoup(context), ScriptClass(), context);
}

GSOSoup* GSOSoup::CreateLocked(GSRuntime::GSContext* context, const ChunkRef& container)
{
    return ScriptObjects::Adopt(new GSOSoup(context, container), ScriptClass(), context);
}

void GSOSoup::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "Soup", kNatives);
}

GSRuntime::GSClass* GSOSoup::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kSoup);
}

bool GSOSoup::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "Soup.gsl", "Soup", SystemClassSlot(SystemClass::kSoup));
}

bool GSOSoup::CheckUnlocked(GSThread& thread, const char* text)
{
    if (!locked_)
        return true;
    ParamAccess::Raise(thread, text);
    return false;
}

bool GSOSoup::NameParam(GSThread& thread, Nyx::PString& name)
{
    if (!ParamAccess::GetPStringParam(false, name, thread, 1))
        return false;
    name = Nyx::PStringCache::ToLower(name);
    return true;
}

void GSOSoup::NativeCountTags(GSThread& thread)
{
    thread.stack.PushInt(int32_t(soup_.ChildCount()));
}

void GSOSoup::NativeGetNamedTag(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        thread.stack.PushString(TDBContainerTag::GetString(soup_, name).View());
}

void GSOSoup::NativeGetNamedSoup(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        ScriptObjects::PushNew(thread, CreateLocked(Context(), TDBContainerTag::GetChildContainer(soup_, name)));
}

void GSOSoup::NativeGetIndexedTagName(GSThread& thread)
{
    const int32_t index = GSRuntime::SlotInt(thread.stack.Local(1));
    thread.stack.PushString(TDBContainerTag::GetChildName(soup_, uint32_t(index)).View());
}

void GSOSoup::NativeGetIndexForNamedTag(GSThread& thread)
{
    Nyx::PString name;
    if (!NameParam(thread, name))
        return;
    int32_t found = -1;
    if (soup_) {
        const uint32_t count = soup_->GetChildCount();
        Nyx::PString childName;
        ChunkRef child;
        for (uint32_t i = 0; i < count && found < 0; ++i) {
            if (soup_->GetChildAt(i, childName, child) && childName == name)
                found = int32_t(i);
        }
    }
    thread.stack.PushInt(found);
}

void GSOSoup::NativeGetNamedTagAsKUID(GSThread& thread)
{
    Nyx::PString name;
    if (!NameParam(thread, name))
        return;
    const KUID kuid = TDBContainerTag::GetKUID(soup_, name, KUID::Null);
    if (kuid.IsNull())
        thread.stack.Push(0);
    else
        KUIDObjectCache::Push(thread, Context(), kuid);
}

void GSOSoup::NativeGetNamedTagAsInt(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        thread.stack.PushInt(TDBContainerTag::GetInt(soup_, name, 0));
}

void GSOSoup::NativeGetNamedTagAsIntOr(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        thread.stack.PushInt(TDBContainerTag::GetInt(soup_, name, GSRuntime::SlotInt(thread.stack.Local(2))));
}

void GSOSoup::NativeGetNamedTagAsFloat(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        thread.stack.PushFloat(TDBContainerTag::GetFloat(soup_, name, 0.0f));
}

void GSOSoup::NativeGetNamedTagAsFloatOr(GSThread& thread)
{
    Nyx::PString name;
    if (NameParam(thread, name))
        thread.stack.PushFloat(TDBContainerTag::GetFloat(soup_, name, GSRuntime::SlotFloat(thread.stack.Local(2))));
}

void GSOSoup::NativeSetString(GSThread& thread)
{
    Nyx::PString name, value;
    if (!CheckUnlocked(thread, kSetLocked) || !NameParam(thread, name) ||
        !ParamAccess::GetPStringParam(true, value, thread, 2))
        return;
    TDBContainerTag::SetString(soup_, name, value);
}

void GSOSoup::NativeSetFloat(GSThread& thread)
{
    Nyx::PString name;
    if (CheckUnlocked(thread, kSetLocked) && NameParam(thread, name))
        TDBContainerTag::SetFloat(soup_, name, GSRuntime::SlotFloat(thread.stack.Local(2)));
}

void GSOSoup::NativeSetInt(GSThread& thread)
{
    Nyx::PString name;
    if (CheckUnlocked(thread, kSetLocked) && NameParam(thread, name))
        TDBContainerTag::SetInt(soup_, name, GSRuntime::SlotInt(thread.stack.Local(2)));
}

void GSOSoup::NativeSetKUID(GSThread& thread)
{
    Nyx::PString name;
    GSOKUID* kuid = nullptr;
    if (!CheckUnlocked(thread, kSetKUIDLocked) || !NameParam(thread, name) ||
        !ParamAccess::GetObjectParam(2, thread, kuid, true))
        return;
    TDBContainerTag::SetKUID(soup_, name, kuid ? kuid->Value() : KUID::Null);
}

void GSOSoup::NativeSetNamedSoup(GSThread& thread)
{
    Nyx::PString name;
    GSOSoup* child = nullptr;
    if (!CheckUnlocked(thread, kSetLocked) || !NameParam(thread, name) ||
        !ParamAccess::GetObjectParam(2, thread, child, false))
        return;
    if (child->locked_) {
        ParamAccess::Raise(thread, kSubSoupLocked);
        return;
    }
    // A soup below itself makes every later walk of it (a copy, a save)
    // endless.
    if (child == this || HoldsContainer(child->soup_, soup_.Get())) {
        ParamAccess::Raise(thread, kSubSoupCycle);
        return;
    }
    TDBContainerTag::SetChildContainer(soup_, name, child->soup_);
}

void GSOSoup::NativeRemoveNamedTag(GSThread& thread)
{
    Nyx::PString name;
    if (CheckUnlocked(thread, kRemoveLocked) && NameParam(thread, name))
        TDBContainerTag::RemoveChild(soup_, name);
}

void GSOSoup::NativeCopy(GSThread& thread)
{
    GSOSoup* source = nullptr;
    if (!CheckUnlocked(thread, kCopyLocked) || !ParamAccess::GetObjectParam(1, thread, source, false))
        return;
    // Built aside, so that a copy that cannot be made leaves this soup as
    // it was.
    ChunkRef copy;
    if (!copy.CloneContainer(source->soup_)) {
        ParamAccess::Raise(thread, kCopyTooDeep);
        return;
    }
    soup_ = std::move(copy);
}

void GSOSoup::NativeClear(GSThread& thread)
{
    if (CheckUnlocked(thread, kClearLocked))
        soup_.Release();
}

void GSOSoup::NativeIsLocked(GSThread& thread)
{
    thread.stack.PushBool(locked_);
}
