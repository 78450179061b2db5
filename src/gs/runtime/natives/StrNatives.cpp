#include "gs/runtime/natives/StrNatives.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "gs/runtime/interp/RunState.h"
#include "gs/runtime/natives/NativeParams.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"

namespace GSRuntime {

namespace {

constexpr std::string_view kSeparators = " \t\r\n";

std::string_view SetOf(const GSString* set) noexcept
{
    return set && !set->Empty() ? set->View() : kSeparators;
}

int32_t ToInt(const std::string& text) noexcept
{
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

float ToFloat(const std::string& text) noexcept
{
    const double v = std::strtod(text.c_str(), nullptr);
    if (v > FLT_MAX)
        return HUGE_VALF;
    if (v < -FLT_MAX)
        return -HUGE_VALF;
    return float(v);
}

// Pushes a string, or releases it when the stack has no room.
void PushMade(GSThread& thread, GSSlot value)
{
    if (!thread.stack.Push(value))
        ReleaseReference(value);
}

void TrimLeft(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    if (!s || s->Empty())
        return;
    std::string& text = s->Str();
    text.erase(0, std::min(text.find_first_not_of(SetOf(StringParam(thread, 2))), text.size()));
}

void TrimRight(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    if (!s || s->Empty())
        return;
    std::string& text = s->Str();
    const size_t last = text.find_last_not_of(SetOf(StringParam(thread, 2)));
    text.erase(last == std::string::npos ? 0 : last + 1);
}

void StrToInt(GSContext*, GSThread& thread)
{
    const GSString* s = StringParam(thread, 1);
    thread.stack.PushInt(s ? ToInt(s->Str()) : 0);
}

void StrToFloat(GSContext*, GSThread& thread)
{
    const GSString* s = StringParam(thread, 1);
    thread.stack.PushFloat(s ? ToFloat(s->Str()) : 0.0f);
}

void ToUpper(GSContext*, GSThread& thread)
{
    if (GSString* s = StringParam(thread, 1)) {
        for (char& c : s->Str())
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
}

void ToLower(GSContext*, GSThread& thread)
{
    if (GSString* s = StringParam(thread, 1)) {
        for (char& c : s->Str())
            c = char(std::tolower(static_cast<unsigned char>(c)));
    }
}

// Runs of separators, leading ones too, part tokens; the walk ends at the
// end of the text (the one empty token).
void Tokens(GSContext* context, GSThread& thread)
{
    auto* array = new GSArray(context, GSArray::kReferenceElements);
    if (const GSString* s = StringParam(thread, 1)) {
        const std::string_view text = s->View();
        const std::string_view set = SetOf(StringParam(thread, 2));
        int32_t count = 0;
        for (size_t at = text.find_first_not_of(set); at != std::string_view::npos;) {
            const size_t end = std::min(text.find_first_of(set, at), text.size());
            if (count >= RunLimits().maxArrayElements)
                break;
            array->SetObjectAt(count++, (new GSString(context, text.substr(at, end - at)))->Reference(), false);
            at = text.find_first_not_of(set, end);
        }
    }
    PushMade(thread, array->Reference());
}

// The next token of the string, which keeps what follows it (from the
// separator on); false for a null or empty string.
bool Unpack(GSThread& thread, std::string& token)
{
    GSString* s = StringParam(thread, 1);
    if (!s || s->Empty())
        return false;
    std::string& text = s->Str();
    const size_t start = std::min(text.find_first_not_of(kSeparators), text.size());
    const size_t end = std::min(text.find_first_of(kSeparators, start), text.size());
    token.assign(text, start, end - start);
    text.erase(0, end);
    return true;
}

void UnpackInt(GSContext*, GSThread& thread)
{
    std::string token;
    thread.stack.PushInt(Unpack(thread, token) ? ToInt(token) : 0);
}

void UnpackFloat(GSContext*, GSThread& thread)
{
    std::string token;
    thread.stack.PushFloat(Unpack(thread, token) ? ToFloat(token) : 0.0f);
}

void UnpackString(GSContext* context, GSThread& thread)
{
    std::string token;
    if (Unpack(thread, token))
        PushMade(thread, (new GSString(context, token))->Reference());
    else
        thread.stack.Push(0);
}

void Find(GSContext*, GSThread& thread)
{
    const GSString* s = StringParam(thread, 1);
    const GSString* sought = StringParam(thread, 2);
    const int32_t start = IntParam(thread, 3);
    int32_t at = -1;
    if (s && sought && start >= 0 && uint32_t(start) <= s->Length()) {
        const size_t found = s->View().find(sought->View(), size_t(start));
        if (found != std::string_view::npos)
            at = int32_t(found);
    }
    thread.stack.PushInt(at);
}

}  // namespace

void RegisterStrNatives(GSMachine& machine)
{
    const struct {
        const char* signature;
        GSCNativeFunction::Handler handler;
    } natives[] = {
        {"$void@Str::TrimLeft(string,string)", &TrimLeft},
        {"$void@Str::TrimRight(string,string)", &TrimRight},
        {"$int@Str::ToInt(string)", &StrToInt},
        {"$float@Str::ToFloat(string)", &StrToFloat},
        {"$void@Str::ToUpper(string)", &ToUpper},
        {"$void@Str::ToLower(string)", &ToLower},
        {"$string[]@Str::Tokens(string,string)", &Tokens},
        {"$int@Str::UnpackInt(string)", &UnpackInt},
        {"$float@Str::UnpackFloat(string)", &UnpackFloat},
        {"$string@Str::UnpackString(string)", &UnpackString},
        {"$int@Str::Find(string,string,int)", &Find},
    };
    for (const auto& n : natives)
        machine.AddNative(
            std::make_unique<GSCNativeFunction>(Nyx::PString("Str"), Nyx::PString(n.signature), n.handler));
}

}  // namespace GSRuntime
