#include "scriptapi/library/GSOLibrary.h"

#include <memory>

#include "config/formats/BinaryConfig.h"
#include "core/process/Log.h"
#include "core/streams/TStream.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSArray.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/router/GSMessage.h"
#include "gs/runtime/router/GSRouter.h"
#include "gs/support/ScriptLogHook.h"
#include "scriptapi/asset/GSOAsset.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/GSOKUID.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/library/GSOLibrarySpec.h"
#include "scriptapi/library/NativeInterface.h"
#include "scriptapi/security/GSOSecurityToken.h"

using namespace GSRuntime;

namespace {

GSOLibrary::OnlineAccessLookup onlineAccessLookup = nullptr;

// Library natives tell the interpreter when they could not run (no description, a
// parameter refused): the call then fails as a native call.
class LibraryNative : public GSNativeFunction {
public:
    using Handler = bool (GSOLibrary::*)(GSThread& thread);

    LibraryNative(const Nyx::PString& className, const Nyx::PString& signature, Handler handler)
        : GSNativeFunction(className, signature), handler_(handler)
    {
    }
    bool Call(GSObject* target, GSThread& thread) override
    {
        auto* self = dynamic_cast<GSOLibrary*>(target);
        return self && (self->*handler_)(thread);
    }

private:
    Handler handler_;
};

struct LibraryNativeRow {
    const char* signature;
    LibraryNative::Handler handler;
};

constexpr LibraryNativeRow kNatives[] = {
    {"$OnlineAccess@Library::GetOnlineAccess()", &GSOLibrary::NativeGetOnlineAccess},
    {"$string@Library::LibraryCallNative(string,string[],GSObject[])", &GSOLibrary::NativeLibraryCallNative},
    {"$SecurityToken@Library::IssueSecurityToken(KUID,string[])", &GSOLibrary::NativeIssueSecurityToken},
    {"$SecurityToken@Library::IssueSecurityToken(SecurityToken,KUID,string[])",
     &GSOLibrary::NativeReIssueSecurityToken},
    {"$SecurityToken@Library::MergeSecurityTokens(SecurityToken[])", &GSOLibrary::NativeMergeSecurityTokens},
    {"$bool@Library::Validate(SecurityToken,Library,string)", &GSOLibrary::NativeValidateByLibrary},
    {"$bool@Library::Validate(SecurityToken,KUID,string)", &GSOLibrary::NativeValidateByKUID},
    {"$void@Library::AddSystemMenuIcon(Asset,string,string)", &GSOLibrary::NativeAddSystemMenuIcon},
    {"$void@Library::BlinkSystemMenuIcon(int)", &GSOLibrary::NativeBlinkSystemMenuIcon},
    {"$void@Library::RemoveSystemMenuIcon()", &GSOLibrary::NativeRemoveSystemMenuIcon},
    {"$void@Library::ShowSystemMenuIconMenu(Menu)", &GSOLibrary::NativeShowSystemMenuIconMenu},
};

// A token made for a script: it belongs to its instance, or goes when it
// could not get one.
void PushToken(GSThread& thread, GSOSecurityToken* token)
{
    if (token && !token->GetInstance()) {
        delete token;
        token = nullptr;
    }
    if (token)
        token->GiveToInstance();
    ScriptObjects::PushNew(thread, token);
}

}  // namespace

void GSOLibrary::SetOnlineAccessLookup(OnlineAccessLookup lookup) noexcept { onlineAccessLookup = lookup; }

GSOLibrary::GSOLibrary(KestroScriptContext* context, GSOLibrarySpec* spec) : ScriptableObject(context), spec_(spec)
{
    if (spec_)
        spec_->AddReference();
    if (spec_ && !spec_->PluginName().Empty())
        plugin_ = KestroScriptContext::LoadNativePlugin(context, spec_->PluginName());
}

GSOLibrary::~GSOLibrary()
{
    if (KestroScriptContext* context = ScriptContext())
        context->SetSystemMenuIcon(this, KUID::Null, Nyx::PString(), Nyx::PString());
    KNIRelease(plugin_);
    plugin_ = nullptr;
    SetPendingProperties(ChunkRef());
    if (spec_)
        spec_->Release();
    spec_ = nullptr;
}

bool GSOLibrary::HasSpec(KUID* kuid) const noexcept
{
    if (!spec_)
        return false;
    if (kuid)
        *kuid = spec_->GetKUID();
    return true;
}

GlimmerkitSpec* GSOLibrary::GetSpec()
{
    if (spec_)
        spec_->AddReference();
    return spec_;
}

KUID GSOLibrary::GetKUID()
{
    return spec_ ? spec_->GetKUID() : KUID::Null;
}

Nyx::String GSOLibrary::Describe()
{
    return spec_ ? spec_->Describe() : Nyx::String(KUID::Null.ToString());
}

// ------------------------------------------------------------- properties

ChunkRef GSOLibrary::GetProperties()
{
    if (Failed())
        return ChunkRef();
    GSScriptInstance* instance = Instance();
    KestroScriptContext* context = ScriptContext();
    intptr_t result = 0;
    const bool called = context && instance &&
                        context->Machine().CallFunction(context, instance->cls, GetInstance(),
                                                        kGetPropertiesSignature, &result, {});
    ChunkRef tree;
    GSSlot* view = reinterpret_cast<GSSlot*>(result);
    GSOSoup* soup = nullptr;
    if (view)
        soup = dynamic_cast<GSOSoup*>(GSScriptInstance::OfPart(view)->owner);
    if (called && soup)
        tree = soup->Soup();
    else
        LogMessage("GSOLibrary::GetProperties> could not retrieve properties for %s", GetKUID().ToString().c_str());
    if (view)
        ReleasePart(view);
    return tree;
}

void GSOLibrary::SetLibraryProperties()
{
    if (PropertiesPending())
        SetProperties();
}

void GSOLibrary::Save(TStream& stream)
{
    stream.WriteInt32(0u);
    WriteBinaryConfig(stream, GetProperties());
}

void GSOLibrary::Load(TStream& stream)
{
    uint32_t unused = 0;
    stream.ReadInt32(unused, 0);
    ChunkRef tree;
    ReadBinaryConfig(stream, tree);
    SetPendingProperties(tree);
    SetLibraryProperties();
}

bool GSOLibrary::ReceiveMessage(NuMessageData& message)
{
    static const Nyx::PString click("click");
    if (iconSource_ != 0 && message.GetName() == click &&
        reinterpret_cast<uintptr_t>(message.GetData()) == iconSource_) {
        if (GSRouter* router = Router()) {
            if (GSMessage* posted = RequestMessage("Interface", "ClickSystemButton", 0, 0))
                router->PostMessage(*posted);
        }
        return false;
    }
    return true;
}

// ----------------------------------------------------------------- plug-in

Nyx::String GSOLibrary::CallPlugin(const char* function, GSArray* strings)
{
    const uint32_t count = strings ? static_cast<uint32_t>(strings->Count()) : 0;
    KNIObject* arguments = KNIAllocArray(count);
    for (uint32_t i = 0; i < count; ++i) {
        GSSlot value = 0;
        const GSString* text = nullptr;
        if (strings->Get(static_cast<int32_t>(i), value) && IsReference(value))
            text = GSString::OfPart(ReferencePart(value));
        KNIObject* element = text ? KNIAllocString(text->c_str()) : nullptr;
        KNISetArrayElement(arguments, i, element);
        KNIRelease(element);
    }
    KNIObject* answer = KNICallLibraryFunctionNamed(plugin_, function, arguments);
    KNIRelease(arguments);
    Nyx::String result;
    if (KNIGetObjectClass(answer) == KNI_CLASS_STRING)
        result = Nyx::String(KNIGetStringText(answer));
    KNIRelease(answer);
    return result;
}

// ----------------------------------------------------------------- natives

void GSOLibrary::RegisterNatives(GSMachine& machine)
{
    const Nyx::PString name("Library");
    for (const LibraryNativeRow& row : kNatives)
        machine.AddNative(std::make_unique<LibraryNative>(name, Nyx::PString(row.signature), row.handler));
}

bool GSOLibrary::NativeGetOnlineAccess(GSThread& thread)
{
    KUID kuid;
    if (!HasSpec(&kuid))
        return false;
    GSSlot* access = nullptr;
    if (onlineAccessLookup && ScriptContext())
        access = onlineAccessLookup(*ScriptContext(), kuid);
    if (!thread.stack.PushInstance(access, false) && access)
        ReleasePart(access);
    return true;
}

bool GSOLibrary::NativeLibraryCallNative(GSThread& thread)
{
    Nyx::PString function;
    GSArray* strings = nullptr;
    if (!ParamAccess::GetPStringParam(false, function, thread, 1) ||
        !ParamAccess::GetObjectParam(2, thread, strings, true))
        return false;
    if (!plugin_) {
        ScriptLog("Library.LibraryCall> unknown function '%s' was called on object '%s'", function.c_str(),
                  Describe().c_str());
        thread.stack.PushString("");
        return true;
    }
    const Nyx::String result = CallPlugin(function.c_str(), strings);
    thread.stack.PushString(result.View());
    return true;
}

bool GSOLibrary::NativeIssueSecurityToken(GSThread& thread)
{
    if (!HasSpec())
        return false;
    GSOKUID* kuid = nullptr;
    GSArray* rights = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, kuid, false) || !ParamAccess::GetObjectParam(2, thread, rights, true))
        return false;
    PushToken(thread, new GSOSecurityToken(ScriptContext(), this, kuid->Value(), rights));
    return true;
}

bool GSOLibrary::NativeReIssueSecurityToken(GSThread& thread)
{
    if (!HasSpec())
        return false;
    GSOSecurityToken* token = nullptr;
    GSOKUID* kuid = nullptr;
    GSArray* rights = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, token, false) || !ParamAccess::GetObjectParam(2, thread, kuid, false) ||
        !ParamAccess::GetObjectParam(3, thread, rights, true))
        return false;
    PushToken(thread, token->ReIssueToken(ScriptContext(), this, kuid->Value(), rights));
    return true;
}

bool GSOLibrary::NativeMergeSecurityTokens(GSThread& thread)
{
    if (!HasSpec())
        return false;
    GSArray* tokens = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, tokens, false))
        return false;
    PushToken(thread, GSOSecurityToken::MergeSecurityTokens(ScriptContext(), tokens));
    return true;
}

bool GSOLibrary::NativeValidateByLibrary(GSThread& thread)
{
    KUID own;
    if (!HasSpec(&own))
        return false;
    GSOSecurityToken* token = nullptr;
    GSOLibrary* issuer = nullptr;
    Nyx::PString right;
    if (!ParamAccess::GetObjectParam(1, thread, token, false) || !ParamAccess::GetObjectParam(2, thread, issuer, false) ||
        !ParamAccess::GetPStringParam(false, right, thread, 3))
        return false;
    thread.stack.PushBool(GSOSecurityToken::HasRight(issuer, *token, own, right));
    return true;
}

bool GSOLibrary::NativeValidateByKUID(GSThread& thread)
{
    KUID own;
    if (!HasSpec(&own))
        return false;
    GSOSecurityToken* token = nullptr;
    GSOKUID* kuid = nullptr;
    Nyx::PString right;
    if (!ParamAccess::GetObjectParam(1, thread, token, false) || !ParamAccess::GetObjectParam(2, thread, kuid, false) ||
        !ParamAccess::GetPStringParam(false, right, thread, 3))
        return false;
    GSOLibrary* issuer = ScriptContext() ? ScriptContext()->GetScriptLibrary(kuid->Value()) : nullptr;
    thread.stack.PushBool(issuer && GSOSecurityToken::HasRight(issuer, *token, own, right));
    return true;
}

bool GSOLibrary::NativeAddSystemMenuIcon(GSThread& thread)
{
    if (!HasSpec())
        return false;
    GSOAsset* asset = nullptr;
    Nyx::PString text;
    Nyx::PString tooltip;
    if (!ParamAccess::GetObjectParam(1, thread, asset, false) || !ParamAccess::GetPStringParam(true, text, thread, 2) ||
        !ParamAccess::GetPStringParam(true, tooltip, thread, 3))
        return false;
    if (KestroScriptContext* context = ScriptContext())
        context->SetSystemMenuIcon(this, asset->Kuid(), text, tooltip);
    return true;
}

bool GSOLibrary::NativeBlinkSystemMenuIcon(GSThread& thread)
{
    if (KestroScriptContext* context = ScriptContext())
        context->BlinkSystemMenuIcon(this, SlotInt(thread.stack.Local(1)));
    return true;
}

bool GSOLibrary::NativeRemoveSystemMenuIcon(GSThread&)
{
    if (KestroScriptContext* context = ScriptContext())
        context->SetSystemMenuIcon(this, KUID::Null, Nyx::PString(), Nyx::PString());
    return true;
}

bool GSOLibrary::NativeShowSystemMenuIconMenu(GSThread& thread)
{
    // A menu is a script object: it may have no native side at all.
    GSObject* menu = nullptr;
    const GSSlot value = thread.stack.Local(1);
    if (IsReference(value))
        menu = dynamic_cast<GSObject*>(GSScriptInstance::OfPart(ReferencePart(value))->owner);
    if (KestroScriptContext* context = ScriptContext())
        context->ShowSystemMenuIconMenu(this, menu);
    return true;
}
