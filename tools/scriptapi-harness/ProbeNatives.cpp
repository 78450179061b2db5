#include "scriptapi-harness/ProbeNatives.h"

#include <set>

#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/natives/NativeParams.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/image/GSOImage.h"

using GSRuntime::GSThread;

namespace {

void Pixel(GSRuntime::GSContext*, GSThread& thread)
{
    GSOImage* image = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, image, false))
        return;
    const int32_t x = GSRuntime::IntParam(thread, 2);
    const int32_t y = GSRuntime::IntParam(thread, 3);
    const Nyx::Bitmap* bitmap = image->Bitmap();
    const bool inside = bitmap && x >= 0 && y >= 0;
    thread.stack.PushInt(
        inside ? static_cast<int32_t>(bitmap->GetPixel(static_cast<uint32_t>(x), static_cast<uint32_t>(y))) : 0);
}

void LineColor(GSRuntime::GSContext*, GSThread& thread)
{
    GSOImage* image = nullptr;
    if (ParamAccess::GetObjectParam(1, thread, image, false))
        thread.stack.PushInt(static_cast<int32_t>(image->LineColor()));
}

void FillColor(GSRuntime::GSContext*, GSThread& thread)
{
    GSOImage* image = nullptr;
    if (ParamAccess::GetObjectParam(1, thread, image, false))
        thread.stack.PushInt(static_cast<int32_t>(image->FillColor()));
}

constexpr PlainNative kNatives[] = {
    {"$int@Probe::Pixel(Image,int,int)", &Pixel},
    {"$int@Probe::LineColor(Image)", &LineColor},
    {"$int@Probe::FillColor(Image)", &FillColor},
};

}  // namespace

void RegisterProbeNatives(GSMachine& machine)
{
    static std::set<const GSMachine*> done;
    if (done.insert(&machine).second)
        RegisterPlainNatives(machine, "Probe", kNatives);
}
