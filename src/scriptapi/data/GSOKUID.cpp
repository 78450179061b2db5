#include "scriptapi/data/GSOKUID.h"

#include "gs/runtime/interp/GSThread.h"
#include "kad/requests/KADRequests.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/startup/SystemClasses.h"
#include "scriptapi/data/KUIDObjectCache.h"

using GSRuntime::GSThread;

namespace {

constexpr MemberNative<GSOKUID> kNatives[] = {
    {"$string@KUID::GetName()", &GSOKUID::NativeGetName},
    {"$string@KUID::GetHTMLString()", &GSOKUID::NativeGetHTMLString},
    {"$string@KUID::GetLogString()", &GSOKUID::NativeGetLogString},
    {"$string@KUID::GetBaseString()", &GSOKUID::NativeGetBaseString},
};

}  // namespace

GSOKUID::~GSOKUID()
{
    KUIDObjectCache::Forget(*this);
}

void GSOKUID::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "KUID", kNatives);
}

GSRuntime::GSClass* GSOKUID::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kKUID);
}

bool GSOKUID::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "kuid.gsl", "KUID", SystemClassSlot(SystemClass::kKUID));
}

void GSOKUID::NativeGetName(GSThread& thread)
{
    thread.stack.PushString(KADRequests::GetAssetName(Value()).View());
}

void GSOKUID::NativeGetHTMLString(GSThread& thread)
{
    thread.stack.PushString(ToString().View());
}

void GSOKUID::NativeGetLogString(GSThread& thread)
{
    thread.stack.PushString(ToString().View());
}

void GSOKUID::NativeGetBaseString(GSThread& thread)
{
    thread.stack.PushString(ToShortString().View());
}
