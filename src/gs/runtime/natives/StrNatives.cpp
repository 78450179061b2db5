#include "gs/runtime/natives/StrNatives.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// The bytes of a separator set, each looked up in one step however long
// the set is, so that a walk over a text takes time in its length alone.
class ByteSet {
public:
    explicit ByteSet(std::string_view set) noexcept
    {
        for (char c : set)
            in_[static_cast<unsigned char>(c)] = true;
    }
    // The first position from `from` whose byte is (or is not) in the set;
    // npos when there is none.
    size_t FindFirst(std::string_view text, size_t from, bool in) const noexcept
    {
        for (size_t i = from; i < text.size(); ++i) {
            if (Has(text[i]) == in)
                return i;
        }
        return std::string_view::npos;
    }
    // The last position whose byte is not in the set; npos when none.
    size_t FindLastNotIn(std::string_view text) const noexcept
    {
        for (size_t i = text.size(); i-- > 0;) {
            if (!Has(text[i]))
                return i;
        }
        return std::string_view::npos;
    }

private:
    bool Has(char c) const noexcept { return in_[static_cast<unsigned char>(c)]; }

    bool in_[256] = {};
};

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

// Charges a pass over the text; false when the run cannot afford it (the
// native then does nothing, and the run ends when it returns).
bool ChargePass(const GSString* s) noexcept { return ChargeTexts({s}); }

// Pushes a string, or releases it when the stack has no room.
void PushMade(GSThread& thread, GSSlot value)
{
    if (!thread.stack.Push(value))
        ReleaseReference(value);
}

void TrimLeft(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    const GSString* set = StringParam(thread, 2);
    if (!s || s->Empty() || !ChargeTexts({s, set}))
        return;
    std::string& text = s->Str();
    text.erase(0, std::min(ByteSet(SetOf(set)).FindFirst(text, 0, false), text.size()));
}

void TrimRight(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    const GSString* set = StringParam(thread, 2);
    if (!s || s->Empty() || !ChargeTexts({s, set}))
        return;
    std::string& text = s->Str();
    const size_t last = ByteSet(SetOf(set)).FindLastNotIn(text);
    text.erase(last == std::string::npos ? 0 : last + 1);
}

void StrToInt(GSContext*, GSThread& thread)
{
    const GSString* s = StringParam(thread, 1);
    if (ChargePass(s))
        thread.stack.PushInt(s ? ToInt(s->Str()) : 0);
}

void StrToFloat(GSContext*, GSThread& thread)
{
    const GSString* s = StringParam(thread, 1);
    if (ChargePass(s))
        thread.stack.PushFloat(s ? ToFloat(s->Str()) : 0.0f);
}

void ToUpper(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    if (s && ChargePass(s)) {
        for (char& c : s->Str())
            c = char(std::toupper(static_cast<unsigned char>(c)));
    }
}

void ToLower(GSContext*, GSThread& thread)
{
    GSString* s = StringParam(thread, 1);
    if (s && ChargePass(s)) {
        for (char& c : s->Str())
            c = char(std::tolower(static_cast<unsigned char>(c)));
    }
}

// Runs of separators, leading ones too, part tokens; the walk ends at the
// end of the text (the one empty token). The text's pass is charged first,
// each token's element as the tokens come (ahead, by blocks of them).
void Tokens(GSContext* context, GSThread& thread)
{
    constexpr int32_t kChargedTokens = 64;
    const GSString* s = StringParam(thread, 1);
    const GSString* separators = StringParam(thread, 2);
    if (!ChargeTexts({s, separators}))
        return;
    auto* array = new GSArray(context, GSArray::kReferenceElements);
    if (s) {
        const std::string_view text = s->View();
        const ByteSet set(SetOf(separators));
        int32_t count = 0;
        for (size_t at = set.FindFirst(text, 0, false); at != std::string_view::npos;) {
            const size_t end = std::min(set.FindFirst(text, at, true), text.size());
            if (count >= RunLimits().maxArrayElements ||
                (count % kChargedTokens == 0 && !ChargeWork(ElementWork(kChargedTokens))))
                break;
            array->SetObjectAt(count++, (new GSString(context, text.substr(at, end - at)))->Reference(), false);
            at = set.FindFirst(text, end, false);
        }
    }
    PushMade(thread, array->Reference());
}

// The next token of the string, which keeps what follows it (from the
// separator on); false for a null or empty string.
bool Unpack(GSThread& thread, std::string& token)
{
    GSString* s = StringParam(thread, 1);
    if (!s || s->Empty() || !ChargePass(s))
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

// The search takes time linear in both texts, however they repeat: a
// short text is sought by its first byte and then compared (at most that
// short length at each place), a longer one with memmem's two-way search.
void Find(GSContext*, GSThread& thread)
{
    constexpr size_t kShortSought = 64;
    const GSString* s = StringParam(thread, 1);
    const GSString* sought = StringParam(thread, 2);
    const int32_t start = IntParam(thread, 3);
    int32_t at = -1;
    if (s && sought && start >= 0 && uint32_t(start) <= s->Length()) {
        if (!ChargeWork(ByteWork(uint64_t(s->Length() - uint32_t(start)) + sought->Length())))
            return;
        if (sought->Length() <= kShortSought) {
            const size_t found = s->View().find(sought->View(), size_t(start));
            if (found != std::string_view::npos)
                at = int32_t(found);
        } else {
            const std::string_view text = s->View().substr(size_t(start));
            const void* found = ::memmem(text.data(), text.size(), sought->View().data(), sought->Length());
            if (found)
                at = start + int32_t(static_cast<const char*>(found) - text.data());
        }
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
