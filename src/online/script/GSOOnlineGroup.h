// The native object behind the script class OnlineGroup: a set of users of
// the online service among whom an asset's scripts exchange group messages.
// It keeps the server's user list (a status byte each), sends the script's
// changes to it, queues the group messages that arrive and tells the
// script of every change by a message to itself.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "gs/runtime/objects/GSGameObject.h"
#include "nyx/base/PString.h"
#include "online/OnlineAccessClientEndpoint.h"

class GSMachine;
class GSOOnlineAccess;

namespace GSRuntime {
class GSThread;
}

class GSOOnlineGroup : public GSRuntime::GSGameObject, public OnlineAccessClientEndpoint::OnlineGroup {
public:
    enum Status : int32_t {
        kNotConnected = 0,
        kRequested = 1,
        kOpen = 2,
        kClosed = 3,
    };
    static constexpr uint8_t kRemovedStatus = 255;

    struct User {
        Nyx::PString name;
        uint32_t status;
    };

    // A new group of the owner with the class OnlineGroup, owned by its
    // instance (one count, the caller's), already asking the server; null
    // without the class.
    static GSOOnlineGroup* Create(GSOOnlineAccess* owner, const Nyx::PString& groupId);
    ~GSOOnlineGroup() override;

    // The owner is going without having closed its groups: they close
    // without touching it.
    static void OwnerGone(GSOOnlineAccess* owner);

    bool IsIdle() override;
    void SetStatus2(const Nyx::PString& groupId, TStream& packet) override;
    void UpdateUsers(TStream& packet) override;
    void SetStatus3() override;
    void CloseIfClient(OnlineAccessClientBase* client) override;
    bool MatchesId(const Nyx::PString& groupId) override;
    void QueueMessage(std::unique_ptr<OnlineGroupMessage> record) override;
    void RequestLost() override;

    void Update(float dt) override;
    // The context's end: the owner's count goes with the other script state.
    void ReleaseScriptState() override;

    static void RegisterNatives(GSMachine& machine);

    int32_t GetStatus() const noexcept { return status_; }
    GSOOnlineAccess* Owner() const noexcept { return owner_; }
    const Nyx::PString& GroupId() const noexcept { return groupId_; }
    const std::vector<User>& Users() const noexcept { return users_; }

    void NativeConnect(GSRuntime::GSThread& thread);
    void NativeGetStatus(GSRuntime::GSThread& thread);
    void NativeDisconnect(GSRuntime::GSThread& thread);
    void NativeGetOnlineGroupCookie(GSRuntime::GSThread& thread);
    void NativeAddUser(GSRuntime::GSThread& thread);
    void NativeRemoveUser(GSRuntime::GSThread& thread);
    void NativeCountUsers(GSRuntime::GSThread& thread);
    void NativeGetIndexedUser(GSRuntime::GSThread& thread);
    void NativeFindUser(GSRuntime::GSThread& thread);
    void NativeGetUserStatus(GSRuntime::GSThread& thread);
    void NativePostGroupMessage(GSRuntime::GSThread& thread);
    void NativeCollectMessage(GSRuntime::GSThread& thread);

    // The user list of a server packet: replacing the list or changing it.
    void ReadUserList(TStream& packet, bool replace);

private:
    GSOOnlineGroup(GSOOnlineAccess* owner, const Nyx::PString& groupId);

    void Connect();
    void SetStatus(int32_t status);
    // Leaves the endpoint and forgets the owner; its count is dropped when
    // asked.
    void DropOwner(bool release);
    void PostToSelf(const char* major, const char* minor);
    // The entry of the exact name, or -1.
    int32_t FindExact(const Nyx::PString& name) const noexcept;

    int32_t status_ = kNotConnected;
    GSOOnlineAccess* owner_;
    Nyx::PString groupId_;
    std::vector<User> users_;
    std::deque<std::unique_ptr<OnlineGroupMessage>> pending_;
    bool newMessage_ = false;
};
