#include "online/OnlineAccessClientEndpoint.h"

#include <algorithm>
#include <cmath>

#include "config/formats/ConfigFile.h"
#include "config/tree/TDBContainerTag.h"
#include "core/process/Log.h"
#include "core/process/ProcessState.h"
#include "kad/requests/KADRequests.h"
#include "kad/requests/UserKUID.h"
#include "kad/transport/HostResolver.h"
#include "online/MessageStore.h"
#include "online/URL.h"

namespace {

constexpr const char* kLoginURL = "palogin://";
constexpr const char* kSettingsFile = "settings/online.txt";
constexpr const char* kHostTag = "online-host";

// Made before main, gone after it.
OnlineAccessClientEndpoint g_endpoint;

std::unique_ptr<TMEPacket> NewPacket(uint8_t kind)
{
    auto packet = std::make_unique<TMEPacket>();
    packet->WriteUInt8(kind);
    return packet;
}

Nyx::String ProfileName()
{
    OnlineProfile profile;
    KADRequests::GetOnlineProfile(profile);
    return profile.text0;
}

}  // namespace

Nyx::String OnlineServiceHost()
{
    Nyx::File::Path folder;
    GetSettingsFolder(folder);
    ChunkRef root;
    if (LoadConfigFile(root, folder.c_str(), kSettingsFile) && root) {
        Nyx::PString host = TDBContainerTag::GetString(root, Nyx::PString(kHostTag));
        if (!host.Empty())
            return Nyx::String(host);
    }
    return Nyx::String(OnlineAccessClientEndpoint::kDefaultHost);
}

OnlineAccessClientEndpoint& OnlineAccessClientEndpoint::Instance() { return g_endpoint; }

OnlineAccessClientEndpoint::~OnlineAccessClientEndpoint()
{
    // Past main the daemon is gone: the fetch is only freed.
    delete loginFetch_;
    loginFetch_ = nullptr;
    Detach();
}

bool OnlineAccessClientEndpoint::Connect(bool forced)
{
    if (!forced && (status_ == kConnecting || status_ == kOnline))
        return false;
    if (ProfileName().Empty()) {
        LogMessage("OnlineAccessClientEndpoint::Connect> empty profile name");
        status_ = kNoProfile;
        return false;
    }
    Disconnect();
    status_ = kConnecting;

    const Nyx::String ticket = KADRequests::Request242();
    if (ticket.Empty()) {
        const URL login = URL::Parse(kLoginURL);
        loginFetch_ = KADRequests::StartURLFetch(Nyx::PString(URL::Format(login).View()));
        return false;
    }

    // A reconnect gets a fresh socket; the old one would only leak.
    socket_.Open();
    servicePeer_ = TMEPeer();
    const Nyx::String host = OnlineServiceHost();
    HostResolver::Resolve(host.c_str(), kServicePort, servicePeer_.address);
    socket_.AddPeer(&servicePeer_);
    Attach(&servicePeer_);
    status_ = kConnecting;

    auto login = NewPacket(kLogin);
    login->WriteString(ProfileName());
    login->WriteString(GetApplicationId());
    login->WriteFloat(GetClientValueF32());
    login->WriteInt32(GetClientValueU32());
    login->WriteBool(GetClientFlag());
    SendPacket(std::move(login));
    return true;
}

void OnlineAccessClientEndpoint::EndLoginFetch()
{
    if (!loginFetch_)
        return;
    KADRequests::EndURLFetch(loginFetch_);
    loginFetch_ = nullptr;
}

void OnlineAccessClientEndpoint::Disconnect()
{
    EndLoginFetch();
    Close();
    socket_.RemovePeer(&servicePeer_);
    status_ = kDisconnected;
}

void OnlineAccessClientEndpoint::OnLinkLost()
{
    if (status_ == kConnecting || status_ == kOnline)
        status_ = kLinkLost;
    // Requests still waiting for their answer went with the link; a new link
    // is a new session that will not answer them.
    const std::vector<OnlineGroup*> groups = groups_;
    for (OnlineGroup* group : groups)
        group->RequestLost();
}

void OnlineAccessClientEndpoint::AddClient(OnlineAccessClientBase* client)
{
    if (!client)
        return;
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end())
        clients_.push_back(client);
    for (auto it = stored_.begin(); it != stored_.end();) {
        const KUID& kuid = (*it)->asset;
        if (kuid.user == client->asset.user && kuid.content == client->asset.content) {
            LogMessage("OnlineAccessClientEndpoint::AddClient> replaying stored message for %s", kuid.ToString().c_str());
            std::unique_ptr<Message> message = std::move(*it);
            it = stored_.erase(it);
            client->QueueMessage(std::move(message));
        } else {
            ++it;
        }
    }
}

void OnlineAccessClientEndpoint::RemoveClient(OnlineAccessClientBase* client)
{
    std::erase(clients_, client);
    // A group that closes leaves the list while it is walked.
    const std::vector<OnlineGroup*> groups = groups_;
    for (OnlineGroup* group : groups) {
        if (std::find(groups_.begin(), groups_.end(), group) != groups_.end())
            group->CloseIfClient(client);
    }
}

void OnlineAccessClientEndpoint::AddGroup(OnlineGroup* group)
{
    if (group && std::find(groups_.begin(), groups_.end(), group) == groups_.end())
        groups_.push_back(group);
}

void OnlineAccessClientEndpoint::RemoveGroup(OnlineGroup* group) { std::erase(groups_, group); }

bool OnlineAccessClientEndpoint::SendPacket(std::unique_ptr<TMEPacket> packet)
{
    // A packet that is not queued is dropped here.
    return Send(packet);
}

int32_t OnlineAccessClientEndpoint::SendLimited(std::unique_ptr<TMEPacket> packet)
{
    const float size = static_cast<float>(packet->BodySize());
    if (!(hourUsage_ <= hourLimit_ && minuteUsage_ <= minuteLimit_ && size <= maxMessageSize_))
        return kOverLimit;
    if (!Send(packet))
        return IsAttached() ? kOverLimit : kNotOnline;
    hourUsage_ += size;
    minuteUsage_ += size;
    return kQueued;
}

int32_t OnlineAccessClientEndpoint::SendVersionedMessage(const VersionedMessage& message)
{
    if (status_ != kOnline)
        return kNotOnline;
    auto packet = NewPacket(kVersionedOnlineMessage);
    // A soup the packet cannot carry whole is refused like one over the
    // size limit, rather than arriving cut.
    if (!message.Write(*packet))
        return kOverLimit;
    return SendLimited(std::move(packet));
}

int32_t OnlineAccessClientEndpoint::SendGroupMessage(const OnlineGroupMessage& record)
{
    if (status_ != kOnline)
        return kNotOnline;
    auto packet = NewPacket(kGroupMessage);
    if (!record.Write(*packet))
        return kOverLimit;
    return SendLimited(std::move(packet));
}

bool OnlineAccessClientEndpoint::SendCreateGroup() { return SendPacket(NewPacket(kCreateGroup)); }

bool OnlineAccessClientEndpoint::SendOpenGroup(const Nyx::PString& groupId)
{
    auto packet = NewPacket(kOpenGroup);
    packet->WritePString(groupId);
    return SendPacket(std::move(packet));
}

void OnlineAccessClientEndpoint::SendCloseGroup(const Nyx::PString& groupId)
{
    auto packet = NewPacket(kCloseGroup);
    packet->WritePString(groupId);
    SendPacket(std::move(packet));
}

void OnlineAccessClientEndpoint::SendSetGroupUser(const Nyx::PString& groupId, uint8_t action,
                                                  const Nyx::String& userName)
{
    auto packet = NewPacket(kSetGroupUser);
    packet->WritePString(groupId);
    packet->WriteUInt8(action);
    packet->WriteString(userName);
    SendPacket(std::move(packet));
}

void OnlineAccessClientEndpoint::WriteStoredMessages(TStream& stream) const { ::WriteStoredMessages(stream, stored_); }

void OnlineAccessClientEndpoint::ReadStoredMessages(TStream& stream) { ::ReadStoredMessages(stream, stored_); }

void OnlineAccessClientEndpoint::Update()
{
    const float now = Now();
    const float dt = now - lastUpdateTime_;
    hourUsage_ = std::max(0.0f, hourUsage_ - dt / 3600.0f * hourLimit_);
    minuteUsage_ = std::max(0.0f, minuteUsage_ - minuteLimit_ * (dt / 60.0f));
    lastUpdateTime_ = now;
    holdOff_ -= dt;
    if (holdOff_ < -kHoldOff)
        holdOff_ = 0.0f;

    socket_.ReceiveOne();
    TMEEndpoint::Update();

    if (loginFetch_ && KADRequests::PollURLFetchAlt(*loginFetch_)) {
        const int32_t result = KADRequests::PollURLFetch(*loginFetch_);
        EndLoginFetch();
        if (result != 0 || !(holdOff_ < 0.0f)) {
            if (status_ == kConnecting)
                Disconnect();
        } else if (status_ == kConnecting) {
            if (!Connect(true))
                holdOff_ = kHoldOff;
        }
    }
}

void OnlineAccessClientEndpoint::HandleLoginResult(TMEPacket& packet)
{
    Nyx::String error;
    packet.ReadString(error);
    if (!error.Empty()) {
        status_ = kLoginRefused;
        KADRequests::Request241();
        return;
    }
    uint32_t maxSize = 0;
    packet.ReadInt32(maxSize, 0);
    maxMessageSize_ = static_cast<float>(maxSize);
    // A result cut before its timeout, or with no usable one, keeps the
    // timeout in force: 0 would send a keep-alive on every update.
    float timeout = 0.0f;
    packet.ReadFloat(timeout, 0.0f);
    if (std::isfinite(timeout) && timeout > 0.0f)
        linkTimeout_ = timeout;
    status_ = kOnline;
}

void OnlineAccessClientEndpoint::Deliver(std::unique_ptr<Message> message)
{
    for (OnlineAccessClientBase* client : clients_) {
        if (client->asset == message->asset) {
            client->QueueMessage(std::move(message));
            return;
        }
    }
    LogMessage("OnlineAccessClientEndpoint::HandlePacket> Storing iKestro message for %s",
               message->asset.ToString().c_str());
    stored_.push_back(std::move(message));
}

OnlineAccessClientEndpoint::OnlineGroup* OnlineAccessClientEndpoint::FindGroup(const Nyx::PString& groupId)
{
    for (OnlineGroup* group : groups_) {
        if (group->MatchesId(groupId))
            return group;
    }
    return nullptr;
}

void OnlineAccessClientEndpoint::HandlePacket(TMEPacket& packet)
{
    uint8_t kind = kUnreadableKind;
    packet.ReadUInt8(kind, kUnreadableKind);
    switch (kind) {
    case kLoginChallenge: {
        Nyx::String error;
        Nyx::String userName;
        packet.ReadString(error);
        packet.ReadString(userName);
        if (!error.Empty()) {
            status_ = kLoginRefused;
            return;
        }
        auto ticket = NewPacket(kLoginTicket);
        ticket->WriteString(KADRequests::Request242());
        SendPacket(std::move(ticket));
        return;
    }
    case kLoginResult:
        HandleLoginResult(packet);
        return;
    case kOnlineMessage: {
        auto message = std::make_unique<Message>();
        message->Read(packet);
        Deliver(std::move(message));
        return;
    }
    case kVersionedOnlineMessage: {
        auto message = std::make_unique<VersionedMessage>();
        message->Read(packet);
        Deliver(std::move(message));
        return;
    }
    case kCreateGroup: {
        Nyx::PString id;
        packet.ReadPString(id);
        for (OnlineGroup* group : groups_) {
            if (group->IsIdle()) {
                group->SetStatus2(id, packet);
                return;
            }
        }
        SendCloseGroup(id);
        return;
    }
    case kOpenGroup: {
        Nyx::PString id;
        packet.ReadPString(id);
        if (OnlineGroup* group = FindGroup(id))
            group->SetStatus2(id, packet);
        else
            SendCloseGroup(id);
        return;
    }
    case kCloseGroup: {
        Nyx::PString id;
        packet.ReadPString(id);
        if (OnlineGroup* group = FindGroup(id))
            group->SetStatus3();
        return;
    }
    case kSetGroupUser: {
        Nyx::PString id;
        packet.ReadPString(id);
        if (OnlineGroup* group = FindGroup(id))
            group->UpdateUsers(packet);
        else
            SendCloseGroup(id);
        return;
    }
    case kGroupMessage: {
        auto record = std::make_unique<OnlineGroupMessage>();
        record->Read(packet);
        if (OnlineGroup* group = FindGroup(record->groupId)) {
            group->QueueMessage(std::move(record));
            return;
        }
        SendCloseGroup(record->groupId);
        return;
    }
    default:
        return;
    }
}
