#include "scriptapi/data/GSOStringTable.h"

#include <cstdio>

#include "config/results/InterfaceTextDB.h"
#include "config/tree/TDBContainerTag.h"
#include "gs/runtime/interp/GSThread.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/specs/GlimmerkitSpec.h"
#include "scriptapi/startup/SystemClasses.h"

using GSRuntime::GSThread;

namespace {

const Nyx::PString kEnglish("english");
const Nyx::PString kStringTable("string-table");

constexpr MemberNative<GSOStringTable> kNatives[] = {
    {"$string@StringTable::GetLanguage()", &GSOStringTable::NativeGetLanguage},
    {"$void@StringTable::ClearParams()", &GSOStringTable::NativeClearParams},
    {"$void@StringTable::SetParam(int,string)", &GSOStringTable::NativeSetParam},
    {"$string@StringTable::GetString(string)", &GSOStringTable::NativeGetString},
};

}  // namespace

GSOStringTable::GSOStringTable(GSRuntime::GSContext*, GlimmerkitSpec* spec) : spec_(spec)
{
    if (spec_) {
        spec_->AddReference();
        table_ = TDBContainerTag::GetChildContainer(spec_->Config(), kStringTable);
    }
}

GSOStringTable::~GSOStringTable()
{
    if (spec_)
        spec_->Release();
}

void GSOStringTable::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "StringTable", kNatives);
}

GSRuntime::GSClass* GSOStringTable::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kStringTable);
}

bool GSOStringTable::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "StringTable.gsl", "StringTable", SystemClassSlot(SystemClass::kStringTable));
}

Nyx::PString GSOStringTable::Language()
{
    const Nyx::PString language = InterfaceTextDB::Instance().GetString(Nyx::PString("$main_language"), false);
    return language.Empty() ? kEnglish : language;
}

Nyx::PString GSOStringTable::Lookup(const Nyx::PString& key) const
{
    if (key.Empty())
        return Nyx::PString();
    const Nyx::PString lower = Nyx::PStringCache::ToLower(key);
    Nyx::PString raw;
    if (TDBContainerTag::GetChildType(table_, lower) != ACS_TYPE_NONE) {
        raw = TDBContainerTag::GetString(table_, lower);
    } else {
        raw = InterfaceTextDB::Instance().GetString(lower, false);
        if (raw.Empty())
            raw = lower;
    }
    return Nyx::PString(FillParams(raw.View()));
}

std::string GSOStringTable::FillParams(std::string_view raw) const
{
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c != '$' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const char next = raw[i + 1];
        if (next == '$') {
            out += '$';
            ++i;
        } else if (next >= '0' && next <= '9') {
            out += params_[next - '0'].View();
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool GSOStringTable::SetParam(int32_t index, const Nyx::PString& text)
{
    if (uint32_t(index) >= uint32_t(kParamCount))
        return false;
    params_[index] = text;
    return true;
}

void GSOStringTable::ClearParams()
{
    for (Nyx::PString& param : params_)
        param = Nyx::PString();
}

void GSOStringTable::NativeGetLanguage(GSThread& thread)
{
    thread.stack.PushString(Language().View());
}

void GSOStringTable::NativeClearParams(GSThread&)
{
    ClearParams();
}

void GSOStringTable::NativeSetParam(GSThread& thread)
{
    Nyx::PString text;
    if (!ParamAccess::GetPStringParam(true, text, thread, 2))
        return;
    const int32_t index = GSRuntime::SlotInt(thread.stack.Local(1));
    if (!SetParam(index, text)) {
        char message[96];
        std::snprintf(message, sizeof message, "StringTable.SetParam> index (%d) out of range (0..9)", index);
        ParamAccess::Raise(thread, message);
    }
}

void GSOStringTable::NativeGetString(GSThread& thread)
{
    Nyx::PString key;
    ParamAccess::GetPStringParam(true, key, thread, 1);
    thread.stack.PushString(Lookup(key).View());
}
