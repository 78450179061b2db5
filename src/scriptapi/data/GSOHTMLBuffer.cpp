#include "scriptapi/data/GSOHTMLBuffer.h"

#include "gs/runtime/interp/GSThread.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/startup/SystemClasses.h"

using GSRuntime::GSThread;

namespace {

void Construct(GSRuntime::GSContext* context, GSThread& thread)
{
    ScriptObjects::PushNew(thread, GSOHTMLBuffer::Create(context));
}

constexpr MemberNative<GSOHTMLBuffer> kNatives[] = {
    {"$void@HTMLBuffer::Clear()", &GSOHTMLBuffer::NativeClear},
    {"$bool@HTMLBuffer::IsEmpty()", &GSOHTMLBuffer::NativeIsEmpty},
    {"$string@HTMLBuffer::AsString()", &GSOHTMLBuffer::NativeAsString},
    {"$void@HTMLBuffer::Print(string)", &GSOHTMLBuffer::NativePrint},
    {"$void@HTMLBuffer::Escape(string)", &GSOHTMLBuffer::NativeEscape},
};

constexpr PlainNative kStaticNatives[] = {
    {"$HTMLBuffer@HTMLBufferStatic::Construct()", &Construct},
};

}  // namespace

GSOHTMLBuffer* GSOHTMLBuffer::Create(GSRuntime::GSContext* context)
{
    return ScriptObjects::Adopt(new GSOHTMLBuffer, ScriptClass(), context);
}

void GSOHTMLBuffer::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "HTMLBuffer", kNatives);
}

void GSOHTMLBuffer::RegisterStaticNatives(GSMachine& machine)
{
    RegisterPlainNatives(machine, "HTMLBufferStatic", kStaticNatives);
}

GSRuntime::GSClass* GSOHTMLBuffer::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kHTMLBuffer);
}

bool GSOHTMLBuffer::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "HTMLBuffer.gsl", "HTMLBuffer", SystemClassSlot(SystemClass::kHTMLBuffer));
}

void GSOHTMLBuffer::NativeClear(GSThread&)
{
    Clear();
}

void GSOHTMLBuffer::NativeIsEmpty(GSThread& thread)
{
    thread.stack.PushBool(IsEmpty());
}

void GSOHTMLBuffer::NativeAsString(GSThread& thread)
{
    thread.stack.PushString(AsString().View());
}

void GSOHTMLBuffer::NativePrint(GSThread& thread)
{
    Nyx::String text;
    if (ParamAccess::GetStringParam1(text, thread))
        Append(text.c_str(), text.Length());
}

void GSOHTMLBuffer::NativeEscape(GSThread& thread)
{
    Nyx::String text;
    if (ParamAccess::GetStringParam1(text, thread))
        Escape(text.c_str());
}
