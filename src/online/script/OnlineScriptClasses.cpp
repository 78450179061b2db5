#include "online/script/OnlineScriptClasses.h"

#include "online/script/GSOOnlineAccess.h"
#include "online/script/GSOOnlineGroup.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/library/GSOLibrary.h"
#include "scriptapi/startup/NativeTables.h"

namespace {

GSRuntime::GSSlot* LibraryOnlineAccess(KestroScriptContext& context, const KUID& asset)
{
    GSOOnlineAccess* access = GSOOnlineAccess::Instance(&context, asset);
    return access ? access->GetInstance() : nullptr;
}

}  // namespace

void InstallOnlineScriptClasses()
{
    OnlineNativeRegistration registration;
    registration.access = &GSOOnlineAccess::RegisterNatives;
    registration.group = &GSOOnlineGroup::RegisterNatives;
    SetOnlineNativeRegistration(registration);
    GSOLibrary::SetOnlineAccessLookup(&LibraryOnlineAccess);
}
