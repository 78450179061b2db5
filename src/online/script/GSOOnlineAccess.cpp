#include "online/script/GSOOnlineAccess.h"

#include <algorithm>
#include <string>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/router/GSRouter.h"
#include "kad/requests/KADRequests.h"
#include "online/MessageStore.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "online/script/GSOOnlineGroup.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/startup/SystemClasses.h"

using namespace GSRuntime;

namespace {

constexpr MemberNative<GSOOnlineAccess> kNatives[] = {
    {"$void@OnlineAccess::Connect()", &GSOOnlineAccess::NativeConnect},
    {"$int@OnlineAccess::GetStatus()", &GSOOnlineAccess::NativeGetStatus},
    {"$void@OnlineAccess::Disconnect()", &GSOOnlineAccess::NativeDisconnect},
    {"$string@OnlineAccess::GetUsername()", &GSOOnlineAccess::NativeGetUsername},
    {"$int@OnlineAccess::GetLocalData(string,Soup)", &GSOOnlineAccess::NativeGetLocalData},
    {"$int@OnlineAccess::SetLocalData(string,Soup)", &GSOOnlineAccess::NativeSetLocalData},
    {"$int@OnlineAccess::GetProfileData(string,Soup)", &GSOOnlineAccess::NativeGetProfileData},
    {"$int@OnlineAccess::SetProfileData(string,Soup)", &GSOOnlineAccess::NativeSetProfileData},
    {"$int@OnlineAccess::PostMessage(string,Soup)", &GSOOnlineAccess::NativePostOnlineMessage},
    {"$int@OnlineAccess::CollectMessage(string,Soup)", &GSOOnlineAccess::NativeCollectMessage},
    {"$OnlineGroup@OnlineAccess::CreateGroup()", &GSOOnlineAccess::NativeCreateGroup},
    {"$OnlineGroup@OnlineAccess::OpenGroup(string)", &GSOOnlineAccess::NativeOpenGroup},
    {"$int@OnlineAccess::PostOfflineMessage(Soup)", &GSOOnlineAccess::NativePostOfflineMessage},
    {"$int@OnlineAccess::CollectOfflineMessage(Soup)", &GSOOnlineAccess::NativeCollectOfflineMessage},
};

std::vector<GSOOnlineAccess*>& Objects()
{
    static std::vector<GSOOnlineAccess*> objects;
    return objects;
}

OnlineAccessClientEndpoint& Endpoint() { return OnlineAccessClientEndpoint::Instance(); }

// The string object and soup parameters the two Collect natives fill.
bool CollectParams(GSThread& thread, GSString*& name, GSOSoup*& soup)
{
    return ParamAccess::GetObjectParam(1, thread, name, false) && ParamAccess::GetObjectParam(2, thread, soup, false);
}

}  // namespace

ChunkRef& GSOOnlineAccess::Inbox() noexcept
{
    static ChunkRef inbox;
    return inbox;
}

ChunkRef& GSOOnlineAccess::Outbox() noexcept
{
    static ChunkRef outbox;
    return outbox;
}

const std::vector<GSOOnlineAccess*>& GSOOnlineAccess::All() noexcept { return Objects(); }

GSOOnlineAccess* GSOOnlineAccess::Instance(GSContext* context, const KUID& asset)
{
    for (GSOOnlineAccess* object : Objects()) {
        if (object->Context() == context && object->asset.user == asset.user &&
            object->asset.content == asset.content && object->GetInstance()) {
            AddPartReference(object->GetInstance());
            return object;
        }
    }
    auto* object = ScriptObjects::Adopt(new GSOOnlineAccess(context, asset),
                                        GetSystemClass(SystemClass::kOnlineAccess), context);
    if (object && context && context->Router())
        context->Router()->AddNode(*object);
    return object;
}

GSOOnlineAccess::GSOOnlineAccess(GSContext*, const KUID& kuid)
{
    asset = kuid;
    // The state is asked once per description; an asset without a description counts as
    // not modified.
    if (KestroBaseSpec* spec = FindKestroBaseSpec(kuid, false)) {
        senderModified_ = spec->IsLocallyModified();
        spec->Release();
    }
    Objects().insert(Objects().begin(), this);
}

GSOOnlineAccess::~GSOOnlineAccess()
{
    GSOOnlineGroup::OwnerGone(this);
    OnlineAccessClientEndpoint& endpoint = Endpoint();
    endpoint.RemoveClient(this);
    if (!endpoint.HasClients())
        endpoint.Disconnect();
    MessageStore::Save(endpoint);
    pending_.clear();
    std::erase(Objects(), this);
}

void GSOOnlineAccess::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "OnlineAccess", kNatives);
    Inbox().Release();
    Outbox().Release();
    LoadConfigFileSafely(Inbox(), kBoxFolder, kInboxFile);
    LoadConfigFileSafely(Outbox(), kBoxFolder, kOutboxFile);
    MessageStore::Load(Endpoint());
}

void GSOOnlineAccess::QueueMessage(std::unique_ptr<OnlineMessage> message)
{
    auto* versioned = dynamic_cast<VersionedOnlineMessage*>(message.get());
    // A locally modified asset hears only from modified senders.
    if (!versioned || (senderModified_ && !versioned->senderModified))
        return;
    pending_.push_back(std::move(message));
    newMessage_ = true;
}

void GSOOnlineAccess::PostToSelf(const char* major, const char* minor)
{
    if (GSRouter* router = Router()) {
        if (GSMessage* message = RequestMessage(major, minor, Id(), 0))
            router->PostMessage(*message);
    }
}

void GSOOnlineAccess::Update(float dt)
{
    GSGameObject::Update(dt);
    postLoad = std::max(0.0f, postLoad - dt);
    OnlineAccessClientEndpoint& endpoint = Endpoint();
    endpoint.Update();
    if (endpoint.GetStatus() != lastStatus_) {
        lastStatus_ = endpoint.GetStatus();
        PostToSelf("OnlineAccess", "StatusChange");
        if (!pending_.empty())
            newMessage_ = true;
    }
    if (newMessage_) {
        newMessage_ = false;
        PostToSelf("OnlineAccess", "ReceiveMessage");
    }
    RequestUpdate();
}

// ----------------------------------------------------------------- natives

void GSOOnlineAccess::NativeConnect(GSThread&)
{
    Endpoint().Connect(false);
    Endpoint().AddClient(this);
}

void GSOOnlineAccess::NativeGetStatus(GSThread& thread) { thread.stack.PushInt(lastStatus_); }

void GSOOnlineAccess::NativeDisconnect(GSThread&)
{
    OnlineAccessClientEndpoint& endpoint = Endpoint();
    endpoint.RemoveClient(this);
    if (!endpoint.HasClients())
        endpoint.Disconnect();
    MessageStore::Save(endpoint);
}

void GSOOnlineAccess::NativeGetUsername(GSThread& thread)
{
    OnlineProfile profile;
    KADRequests::GetOnlineProfile(profile);
    thread.stack.PushString(profile.text0.View());
}

void GSOOnlineAccess::NativeGetLocalData(GSThread& thread)
{
    Nyx::PString key;
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetPStringParam(true, key, thread, 1) || !ParamAccess::GetObjectParam(2, thread, soup, false))
        return;
    if (soup->Locked()) {
        ParamAccess::Raise(thread, kLockedSoup);
        return;
    }
    const ChunkRef reply = KADRequests::GetLocalData(asset, key);
    // The reply was read from the binary form, which holds no deeper tree
    // than a copy can take.
    ChunkRef copy;
    if (reply)
        copy.CloneContainer(reply);
    soup->SetSoup(std::move(copy));
    thread.stack.PushInt(0);
}

void GSOOnlineAccess::NativeSetLocalData(GSThread& thread)
{
    Nyx::PString key;
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetPStringParam(true, key, thread, 1) || !ParamAccess::GetObjectParam(2, thread, soup, false))
        return;
    if (!KADRequests::SetLocalData(asset, key, soup->Soup())) {
        ParamAccess::Raise(thread, kUnstorableSoup);
        return;
    }
    thread.stack.PushInt(0);
}

void GSOOnlineAccess::NativeGetProfileData(GSThread& thread) { thread.stack.PushInt(0); }

void GSOOnlineAccess::NativeSetProfileData(GSThread& thread) { thread.stack.PushInt(0); }

void GSOOnlineAccess::NativePostOnlineMessage(GSThread& thread)
{
    if (postLoad > kMaxPostLoad) {
        thread.stack.PushInt(OnlineAccessClientEndpoint::kOverLimit);
        return;
    }
    Nyx::PString userName;
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetPStringParam(true, userName, thread, 1) || !ParamAccess::GetObjectParam(2, thread, soup, false))
        return;
    VersionedOnlineMessage message;
    message.asset = asset;
    message.userName = Nyx::String(userName);
    message.body = soup->Soup();
    message.format = 1;
    message.senderModified = senderModified_;
    const int32_t result = Endpoint().SendVersionedMessage(message);
    postLoad += 1.0f;
    thread.stack.PushInt(result);
}

void GSOOnlineAccess::NativeCollectMessage(GSThread& thread)
{
    GSString* name = nullptr;
    GSOSoup* soup = nullptr;
    if (!CollectParams(thread, name, soup))
        return;
    int32_t result = OnlineAccessClientEndpoint::kNotOnline;
    Nyx::String userName;
    if (Endpoint().GetStatus() == OnlineAccessClientEndpoint::kOnline) {
        result = 6;
        if (!pending_.empty()) {
            std::unique_ptr<OnlineMessage> message = std::move(pending_.front());
            pending_.pop_front();
            soup->SetSoup(message->body);
            userName = message->userName;
            result = 0;
        }
    }
    static_cast<Nyx::String&>(*name) = userName;
    thread.stack.PushInt(result);
}

void GSOOnlineAccess::PushNewGroup(GSThread& thread, const Nyx::PString& groupId)
{
    GSOOnlineGroup* group = GSOOnlineGroup::Create(this, groupId);
    ScriptObjects::PushNew(thread, group);
}

void GSOOnlineAccess::NativeCreateGroup(GSThread& thread) { PushNewGroup(thread, Nyx::PString()); }

void GSOOnlineAccess::NativeOpenGroup(GSThread& thread)
{
    Nyx::PString groupId;
    if (ParamAccess::GetPStringParam(false, groupId, thread, 1))
        PushNewGroup(thread, groupId);
}

Nyx::PString FreeChildNumber(const ChunkRef& container)
{
    for (int32_t n = 0;; ++n) {
        const Nyx::PString name(std::to_string(n));
        if (!container || !container->FindChildConst(name).IsReal())
            return name;
    }
}

void GSOOnlineAccess::NativePostOfflineMessage(GSThread& thread)
{
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, soup, false))
        return;
    ChunkRef copy;
    if (!copy.CloneContainer(soup->Soup())) {
        ParamAccess::Raise(thread, kUncopiableOfflineSoup);
        return;
    }
    ChunkRef& outbox = Outbox();
    outbox.EnsureContainer();
    TDBContainerTag::SetChildContainer(outbox, FreeChildNumber(outbox), copy);
    thread.stack.PushInt(0);
}

void GSOOnlineAccess::NativeCollectOfflineMessage(GSThread& thread)
{
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, soup, false))
        return;
    ChunkRef& inbox = Inbox();
    if (!inbox) {
        thread.stack.PushInt(6);
        return;
    }
    ChunkRef taken;
    if (inbox.ChildCount() > 0) {
        Nyx::PString name;
        taken = TDBContainerTag::GetChildContainerAt(inbox, 0, name);
        ChunkRef child;
        if (inbox->GetChildAt(0, name, child))
            inbox->RemoveChild(child);
    }
    if (!taken.IsReal())
        taken = ChunkRef();
    soup->SetSoup(std::move(taken));
    thread.stack.PushInt(0);
}
