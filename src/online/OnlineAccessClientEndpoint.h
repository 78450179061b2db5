// The tool's one connection to the online-access service: the link of
// TMEEndpoint, the login with the user's online profile and the daemon's
// ticket, message delivery to the registered clients (messages for absent
// clients are stored until one registers), the online groups and the
// traffic limits. There is no thread: the OnlineAccess objects' updates
// drive it, on the thread that updates them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/PString.h"
#include "nyx/base/String.h"
#include "online/OnlineAccessClientBase.h"
#include "online/OnlineMessage.h"
#include "online/TMEEndpoint.h"

struct URLFetch;

class OnlineAccessClientEndpoint : public TMEEndpoint {
public:
    using Message = OnlineMessage;
    using VersionedMessage = VersionedOnlineMessage;

    // How the endpoint reaches an online group; the group adds itself to the
    // endpoint's list and removes itself again.
    class OnlineGroup {
    public:
        virtual ~OnlineGroup() = default;
        // A create request waiting for the server's answer.
        virtual bool IsIdle() = 0;
        // The server created or opened the group; the packet is at its user
        // list.
        virtual void SetStatus2(const Nyx::PString& groupId, TStream& packet) = 0;
        virtual void UpdateUsers(TStream& packet) = 0;
        // Closed; the group leaves the endpoint's list.
        virtual void SetStatus3() = 0;
        virtual void CloseIfClient(OnlineAccessClientBase* client) = 0;
        virtual bool MatchesId(const Nyx::PString& groupId) = 0;
        virtual void QueueMessage(std::unique_ptr<OnlineGroupMessage> record) = 0;
        // The link went down with the group's create or open request still
        // unanswered.
        virtual void RequestLost() {}
    };

    enum Status : int32_t {
        kNoProfile = 0,
        kDisconnected = 1,
        kLoginRefused = 3,
        kLinkLost = 5,
        kConnecting = 6,
        kOnline = 7,
    };
    enum SendResult : int32_t {
        kQueued = 0,
        kNotOnline = 1,
        kOverLimit = 4,
    };
    enum PacketKind : uint8_t {
        kLogin = 0,
        kLoginChallenge = 1,
        kLoginTicket = 2,
        kLoginResult = 3,
        kOnlineMessage = 10,
        kVersionedOnlineMessage = 11,
        kCreateGroup = 20,
        kOpenGroup = 21,
        kCloseGroup = 22,
        kSetGroupUser = 23,
        kGroupMessage = 24,
        kUnreadableKind = 255,
    };

    static constexpr uint16_t kServicePort = 5250;
    static constexpr const char* kDefaultHost = "127.0.0.1";
    static constexpr float kDefaultMaxMessageSize = 32000.0f;
    static constexpr float kDefaultMinuteLimit = 64000.0f;
    static constexpr float kDefaultHourLimit = 500000.0f;
    static constexpr float kHoldOff = 10.0f;

    OnlineAccessClientEndpoint() = default;
    ~OnlineAccessClientEndpoint() override;

    // The process-wide endpoint, made before main; it opens no socket
    // until Connect.
    static OnlineAccessClientEndpoint& Instance();

    // Starts a connection; true when the login went out. Not forced, it does
    // nothing while connecting or online.
    bool Connect(bool forced);
    void Disconnect();
    void AddClient(OnlineAccessClientBase* client);
    void RemoveClient(OnlineAccessClientBase* client);
    bool HasClients() const noexcept { return !clients_.empty(); }
    int32_t GetStatus() const noexcept { return status_; }

    int32_t SendVersionedMessage(const VersionedMessage& message);
    int32_t SendGroupMessage(const OnlineGroupMessage& record);
    // False when the request could not be queued (no link, or the queue is
    // full): it will never be answered.
    bool SendCreateGroup();
    bool SendOpenGroup(const Nyx::PString& groupId);
    void SendCloseGroup(const Nyx::PString& groupId);
    void SendSetGroupUser(const Nyx::PString& groupId, uint8_t action, const Nyx::String& userName);

    void WriteStoredMessages(TStream& stream) const;
    void ReadStoredMessages(TStream& stream);

    void AddGroup(OnlineGroup* group);
    void RemoveGroup(OnlineGroup* group);

    // Receives one datagram, runs the transport step and follows a running
    // login fetch.
    void Update() override;

    // For the harness and tests.
    const std::vector<std::unique_ptr<Message>>& StoredMessages() const noexcept { return stored_; }
    void StoreMessage(std::unique_ptr<Message> message) { stored_.push_back(std::move(message)); }
    float MaxMessageSize() const noexcept { return maxMessageSize_; }
    float MinuteUsage() const noexcept { return minuteUsage_; }
    float HourUsage() const noexcept { return hourUsage_; }
    float HoldOff() const noexcept { return holdOff_; }
    bool FetchRunning() const noexcept { return loginFetch_ != nullptr; }
    const TMESocket& Socket() const noexcept { return socket_; }

protected:
    void HandlePacket(TMEPacket& packet) override;
    void OnLinkLost() override;

private:
    // Limits checked, queued when they allow; usage counted on success.
    int32_t SendLimited(std::unique_ptr<TMEPacket> packet);
    bool SendPacket(std::unique_ptr<TMEPacket> packet);
    void Deliver(std::unique_ptr<Message> message);
    void HandleLoginResult(TMEPacket& packet);
    void EndLoginFetch();
    OnlineGroup* FindGroup(const Nyx::PString& groupId);

    std::vector<OnlineGroup*> groups_;
    float maxMessageSize_ = kDefaultMaxMessageSize;
    float minuteLimit_ = kDefaultMinuteLimit;
    float hourLimit_ = kDefaultHourLimit;
    float holdOff_ = 0.0f;
    int32_t status_ = kDisconnected;
    TMEPeer servicePeer_;
    TMESocket socket_;
    float lastUpdateTime_ = 0.0f;
    float hourUsage_ = 0.0f;
    float minuteUsage_ = 0.0f;
    URLFetch* loginFetch_ = nullptr;
    std::vector<std::unique_ptr<Message>> stored_;
    std::vector<OnlineAccessClientBase*> clients_;
};

// The service host: "online-host" of "settings/online.txt" in the settings
// folder, else the default.
Nyx::String OnlineServiceHost();
