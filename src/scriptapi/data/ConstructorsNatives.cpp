#include "scriptapi/data/ConstructorsNatives.h"

#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/data/GSOKUIDList.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/image/GSOImage.h"

namespace {

constexpr PlainNative kNatives[] = {
    {"$Soup@ConstructorsBase::NewSoup()", &ConstructorsNatives::NewSoup},
    {"$KUIDList@ConstructorsBase::NewKUIDList()", &ConstructorsNatives::NewKUIDList},
    {"$Image@ConstructorsBase::NewImage()", &ConstructorsNatives::NewImage},
};

}  // namespace

void ConstructorsNatives::RegisterNatives(GSMachine& machine)
{
    RegisterPlainNatives(machine, "ConstructorsBase", kNatives);
}

void ConstructorsNatives::NewSoup(GSRuntime::GSContext* context, GSRuntime::GSThread& thread)
{
    ScriptObjects::PushNew(thread, GSOSoup::Create(context));
}

void ConstructorsNatives::NewKUIDList(GSRuntime::GSContext* context, GSRuntime::GSThread& thread)
{
    ScriptObjects::PushNew(thread, GSOKUIDList::Create(context));
}

void ConstructorsNatives::NewImage(GSRuntime::GSContext* context, GSRuntime::GSThread& thread)
{
    ScriptObjects::PushNew(thread, GSOImage::Create(context));
}
