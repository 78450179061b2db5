#include "scriptapi/binding/ParamAccess.h"

#include <cstdio>

#include "gs/runtime/interp/RunState.h"

using namespace GSRuntime;

namespace {

// The text of a string parameter, which the native copies or interns: the
// run pays for one pass over it.
GSString* StringOf(const GSThread& thread, uint32_t n) noexcept
{
    const GSSlot value = thread.stack.Local(n);
    GSString* text = IsReference(value) ? GSString::OfPart(ReferencePart(value)) : nullptr;
    if (text)
        ChargeWork(ByteWork(text->Length()));
    return text;
}

}  // namespace

bool ParamAccess::GetPStringParam(bool allowEmpty, Nyx::PString& out, GSThread& thread, uint32_t n)
{
    const GSString* text = StringOf(thread, n);
    if (!text) {
        if (!allowEmpty) {
            Raise(thread, kNullString, n);
            return false;
        }
        out = Nyx::PString();
        return true;
    }
    out = Nyx::PString(text->View());
    if (out.Empty() && !allowEmpty) {
        Raise(thread, kEmptyString, n);
        return false;
    }
    return true;
}

bool ParamAccess::GetStringParam1(Nyx::String& out, GSThread& thread)
{
    const GSString* text = StringOf(thread, 1);
    if (!text) {
        Raise(thread, kNullString, 1);
        return false;
    }
    if (text->Empty()) {
        Raise(thread, kEmptyString, 1);
        return false;
    }
    out = Nyx::String(text->View());
    return true;
}

void ParamAccess::Raise(GSThread& thread, const char* format, uint32_t n)
{
    char text[128];
    std::snprintf(text, sizeof text, format, int(n));
    thread.RaiseException(text, false);
}

void ParamAccess::Raise(GSThread& thread, const char* text)
{
    thread.RaiseException(text, false);
}
