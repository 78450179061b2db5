#include "online/script/GSOOnlineGroup.h"

#include <algorithm>

#include "config/formats/ConfigFile.h"
#include "core/streams/TStream.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/objects/GSString.h"
#include "gs/runtime/router/GSRouter.h"
#include "online/script/GSOOnlineAccess.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/startup/SystemClasses.h"

using namespace GSRuntime;

namespace {

constexpr MemberNative<GSOOnlineGroup> kNatives[] = {
    {"$void@OnlineGroup::Connect()", &GSOOnlineGroup::NativeConnect},
    {"$int@OnlineGroup::GetStatus()", &GSOOnlineGroup::NativeGetStatus},
    {"$void@OnlineGroup::Disconnect()", &GSOOnlineGroup::NativeDisconnect},
    {"$string@OnlineGroup::GetOnlineGroupCookie()", &GSOOnlineGroup::NativeGetOnlineGroupCookie},
    {"$void@OnlineGroup::AddUser(string)", &GSOOnlineGroup::NativeAddUser},
    {"$void@OnlineGroup::RemoveUser(string)", &GSOOnlineGroup::NativeRemoveUser},
    {"$int@OnlineGroup::CountUsers()", &GSOOnlineGroup::NativeCountUsers},
    {"$string@OnlineGroup::GetIndexedUser(int)", &GSOOnlineGroup::NativeGetIndexedUser},
    {"$int@OnlineGroup::FindUser(string)", &GSOOnlineGroup::NativeFindUser},
    {"$int@OnlineGroup::GetUserStatus(int)", &GSOOnlineGroup::NativeGetUserStatus},
    {"$int@OnlineGroup::PostMessage(Soup)", &GSOOnlineGroup::NativePostGroupMessage},
    {"$int@OnlineGroup::CollectMessage(string,Soup)", &GSOOnlineGroup::NativeCollectMessage},
};

std::vector<GSOOnlineGroup*>& Groups()
{
    static std::vector<GSOOnlineGroup*> groups;
    return groups;
}

OnlineAccessClientEndpoint& Endpoint() { return OnlineAccessClientEndpoint::Instance(); }

}  // namespace

GSOOnlineGroup* GSOOnlineGroup::Create(GSOOnlineAccess* owner, const Nyx::PString& groupId)
{
    if (!owner || !owner->GetInstance())
        return nullptr;
    GSContext* context = owner->Context();
    auto* group =
        ScriptObjects::Adopt(new GSOOnlineGroup(owner, groupId), GetSystemClass(SystemClass::kOnlineGroup), context);
    if (!group)
        return nullptr;
    if (context && context->Router())
        context->Router()->AddNode(*group);
    group->Connect();
    return group;
}

GSOOnlineGroup::GSOOnlineGroup(GSOOnlineAccess* owner, const Nyx::PString& groupId) : owner_(owner), groupId_(groupId)
{
    AddPartReference(owner_->GetInstance());
    Endpoint().AddGroup(this);
    Groups().push_back(this);
}

GSOOnlineGroup::~GSOOnlineGroup()
{
    // Nothing is told to a group on its way out.
    if (GSRouter* router = Router())
        router->RemoveNode(*this);
    SetStatus3();
    users_.clear();
    pending_.clear();
    std::erase(Groups(), this);
}

void GSOOnlineGroup::OwnerGone(GSOOnlineAccess* owner)
{
    for (GSOOnlineGroup* group : std::vector<GSOOnlineGroup*>(Groups())) {
        if (group->owner_ == owner) {
            group->DropOwner(false);
            group->SetStatus(kClosed);
        }
    }
}

void GSOOnlineGroup::ReleaseScriptState()
{
    GSGameObject::ReleaseScriptState();
    DropOwner(true);
}

void GSOOnlineGroup::DropOwner(bool release)
{
    if (!owner_)
        return;
    Endpoint().RemoveGroup(this);
    GSOOnlineAccess* owner = owner_;
    owner_ = nullptr;
    // Last: the owner may go with this count.
    if (release && owner->GetInstance())
        ReleasePart(owner->GetInstance());
}

void GSOOnlineGroup::PostToSelf(const char* major, const char* minor)
{
    if (GSRouter* router = Router()) {
        if (GSMessage* message = RequestMessage(major, minor, Id(), 0))
            router->PostMessage(*message);
    }
}

void GSOOnlineGroup::SetStatus(int32_t status)
{
    if (status == status_)
        return;
    status_ = status;
    if (status != kRequested)
        PostToSelf("OnlineGroup", "StatusChange");
}

void GSOOnlineGroup::Connect()
{
    if (!owner_ || status_ != kNotConnected)
        return;
    // A request that did not go out (no link yet) is never answered: the
    // group stays unconnected, so that it neither waits for ever nor takes
    // the answer to another group's request.
    const bool sent = groupId_.Empty() ? Endpoint().SendCreateGroup() : Endpoint().SendOpenGroup(groupId_);
    if (sent)
        status_ = kRequested;
}

// ------------------------------------------------------- endpoint operations

bool GSOOnlineGroup::IsIdle() { return status_ == kRequested && groupId_.Empty(); }

bool GSOOnlineGroup::MatchesId(const Nyx::PString& groupId) { return groupId_ == groupId; }

void GSOOnlineGroup::SetStatus2(const Nyx::PString& groupId, TStream& packet)
{
    groupId_ = groupId;
    SetStatus(kOpen);
    ReadUserList(packet, true);
}

void GSOOnlineGroup::UpdateUsers(TStream& packet) { ReadUserList(packet, false); }

void GSOOnlineGroup::SetStatus3()
{
    SetStatus(kClosed);
    DropOwner(true);
}

void GSOOnlineGroup::RequestLost()
{
    if (status_ == kRequested)
        SetStatus(kNotConnected);
}

void GSOOnlineGroup::CloseIfClient(OnlineAccessClientBase* client)
{
    if (owner_ && static_cast<OnlineAccessClientBase*>(owner_) == client)
        SetStatus3();
}

void GSOOnlineGroup::QueueMessage(std::unique_ptr<OnlineGroupMessage> record)
{
    if (!record)
        return;
    pending_.push_back(std::move(record));
    newMessage_ = true;
}

void GSOOnlineGroup::ReadUserList(TStream& packet, bool replace)
{
    bool changed = false;
    if (replace && !users_.empty()) {
        users_.clear();
        changed = true;
    }
    uint16_t count = 0;
    packet.ReadUInt16(count, 0);
    for (uint16_t i = 0; i < count && packet.GetError() == 0; ++i) {
        Nyx::PString name;
        uint8_t status = 0;
        packet.ReadPString(name);
        packet.ReadUInt8(status, 0);
        // A list cut short names no further users.
        if (packet.GetError() != 0)
            break;
        // The server's names match the entries whatever their case.
        auto entry = std::find_if(users_.begin(), users_.end(),
                                  [&name](const User& user) { return EqualsNoCase(user.name.View(), name.View()); });
        if (status == kRemovedStatus) {
            if (entry == users_.end())
                continue;
            users_.erase(entry);
            PostToSelf("OnlineGroup.UserRemoved", name.c_str());
        } else if (entry == users_.end()) {
            users_.push_back(User{name, status});
            PostToSelf("OnlineGroup.UserAdded", name.c_str());
        } else if (entry->status != status) {
            entry->status = status;
            PostToSelf("OnlineGroup.UserStatus", name.c_str());
        } else {
            continue;
        }
        changed = true;
    }
    if (changed)
        PostToSelf("OnlineGroup", "UsersChange");
}

void GSOOnlineGroup::Update(float dt)
{
    GSGameObject::Update(dt);
    if (newMessage_) {
        newMessage_ = false;
        PostToSelf("OnlineGroup", "ReceiveMessage");
    }
    RequestUpdate();
}

// ----------------------------------------------------------------- natives

void GSOOnlineGroup::RegisterNatives(GSMachine& machine) { RegisterMemberNatives(machine, "OnlineGroup", kNatives); }

int32_t GSOOnlineGroup::FindExact(const Nyx::PString& name) const noexcept
{
    for (size_t i = 0; i < users_.size(); ++i) {
        if (users_[i].name == name)
            return static_cast<int32_t>(i);
    }
    return -1;
}

void GSOOnlineGroup::NativeConnect(GSThread&) { Connect(); }

void GSOOnlineGroup::NativeGetStatus(GSThread& thread) { thread.stack.PushInt(status_); }

void GSOOnlineGroup::NativeDisconnect(GSThread&)
{
    if (!owner_)
        return;
    Endpoint().SendCloseGroup(groupId_);
    SetStatus(kNotConnected);
}

void GSOOnlineGroup::NativeGetOnlineGroupCookie(GSThread& thread)
{
    thread.stack.PushString(status_ == kOpen ? groupId_.View() : std::string_view());
}

void GSOOnlineGroup::NativeAddUser(GSThread& thread)
{
    if (!owner_)
        return;
    Nyx::PString name;
    if (!ParamAccess::GetPStringParam(true, name, thread, 1) || FindExact(name) >= 0)
        return;
    users_.push_back(User{name, 0});
    Endpoint().SendSetGroupUser(groupId_, 0, Nyx::String(name));
}

void GSOOnlineGroup::NativeRemoveUser(GSThread& thread)
{
    if (!owner_)
        return;
    Nyx::PString name;
    if (!ParamAccess::GetPStringParam(true, name, thread, 1))
        return;
    const int32_t index = FindExact(name);
    if (index < 0)
        return;
    users_.erase(users_.begin() + index);
    Endpoint().SendSetGroupUser(groupId_, kRemovedStatus, Nyx::String(name));
}

void GSOOnlineGroup::NativeCountUsers(GSThread& thread) { thread.stack.PushInt(static_cast<int32_t>(users_.size())); }

void GSOOnlineGroup::NativeGetIndexedUser(GSThread& thread)
{
    const int32_t index = SlotInt(thread.stack.Local(1));
    const bool inside = index >= 0 && static_cast<size_t>(index) < users_.size();
    thread.stack.PushString(inside ? users_[static_cast<size_t>(index)].name.View() : std::string_view());
}

void GSOOnlineGroup::NativeFindUser(GSThread& thread)
{
    Nyx::PString name;
    if (ParamAccess::GetPStringParam(true, name, thread, 1))
        thread.stack.PushInt(FindExact(name));
}

void GSOOnlineGroup::NativeGetUserStatus(GSThread& thread)
{
    const int32_t index = SlotInt(thread.stack.Local(1));
    const bool inside = index >= 0 && static_cast<size_t>(index) < users_.size();
    thread.stack.PushInt(inside ? static_cast<int32_t>(users_[static_cast<size_t>(index)].status) : 0);
}

void GSOOnlineGroup::NativePostGroupMessage(GSThread& thread)
{
    if (!owner_) {
        thread.stack.PushInt(OnlineAccessClientEndpoint::kNotOnline);
        return;
    }
    if (owner_->postLoad > GSOOnlineAccess::kMaxPostLoad) {
        thread.stack.PushInt(OnlineAccessClientEndpoint::kOverLimit);
        return;
    }
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, soup, false))
        return;
    OnlineGroupMessage record;
    record.groupId = groupId_;
    record.body = soup->Soup();
    record.sender = owner_->asset;
    const int32_t result = Endpoint().SendGroupMessage(record);
    owner_->postLoad += 1.0f;
    thread.stack.PushInt(result);
}

void GSOOnlineGroup::NativeCollectMessage(GSThread& thread)
{
    GSString* name = nullptr;
    GSOSoup* soup = nullptr;
    if (!ParamAccess::GetObjectParam(1, thread, name, false) || !ParamAccess::GetObjectParam(2, thread, soup, false))
        return;
    int32_t result = OnlineAccessClientEndpoint::kNotOnline;
    Nyx::String userName;
    if (owner_ && Endpoint().GetStatus() == OnlineAccessClientEndpoint::kOnline) {
        result = 6;
        if (!pending_.empty()) {
            std::unique_ptr<OnlineGroupMessage> record = std::move(pending_.front());
            pending_.pop_front();
            soup->SetSoup(record->body);
            userName = record->userName;
            result = 0;
        }
    }
    static_cast<Nyx::String&>(*name) = userName;
    thread.stack.PushInt(result);
}
