// The native object behind the script class OnlineAccess: an asset's
// script's way to the online-access service. One object per script context
// and asset; it is a client of the process's endpoint, drives it from its
// own update, and turns endpoint events into script messages to itself.
// It also keeps the asset's local data in the daemon and hands out and
// takes in soups of the offline boxes (kept in memory only).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "online/OnlineAccessClientBase.h"

class GSMachine;
class KestroScriptContext;

namespace GSRuntime {
class GSContext;
class GSThread;
}

class GSOOnlineAccess : public GSRuntime::GSGameObject, public OnlineAccessClientBase {
public:
    static constexpr float kMaxPostLoad = 60.0f;
    static constexpr const char* kBoxFolder = "cache";
    static constexpr const char* kInboxFile = "offline-inbox.tbox";
    static constexpr const char* kOutboxFile = "offline-outbox.tbox";
    static constexpr const char* kLockedSoup = "OnlineAccess.GetLocalData> soup is locked";
    // Raised rather than keeping or sending only part of a soup.
    static constexpr const char* kUnstorableSoup =
        "OnlineAccess.SetLocalData> soup has a tag name too long or is nested too deep";
    static constexpr const char* kUncopiableOfflineSoup = "OnlineAccess.PostOfflineMessage> soup is nested too deep";

    // The object of the context and asset (user and content id), with one
    // script count for the caller; a new one when there is none. Null when
    // the script class is missing.
    static GSOOnlineAccess* Instance(GSRuntime::GSContext* context, const KUID& asset);

    ~GSOOnlineAccess() override;

    void QueueMessage(std::unique_ptr<OnlineMessage> message) override;
    void Update(float dt) override;

    // Binds the natives, then loads the offline boxes and the message store.
    static void RegisterNatives(GSMachine& machine);
    // The offline boxes (null when absent).
    static ChunkRef& Inbox() noexcept;
    static ChunkRef& Outbox() noexcept;
    static const std::vector<GSOOnlineAccess*>& All() noexcept;

    bool SenderModified() const noexcept { return senderModified_; }
    int32_t LastStatus() const noexcept { return lastStatus_; }
    size_t PendingCount() const noexcept { return pending_.size(); }
    // Raised by every PostMessage of the object and its groups.
    float postLoad = 0.0f;

    void NativeConnect(GSRuntime::GSThread& thread);
    void NativeGetStatus(GSRuntime::GSThread& thread);
    void NativeDisconnect(GSRuntime::GSThread& thread);
    void NativeGetUsername(GSRuntime::GSThread& thread);
    void NativeGetLocalData(GSRuntime::GSThread& thread);
    void NativeSetLocalData(GSRuntime::GSThread& thread);
    void NativeGetProfileData(GSRuntime::GSThread& thread);
    void NativeSetProfileData(GSRuntime::GSThread& thread);
    void NativePostOnlineMessage(GSRuntime::GSThread& thread);
    void NativeCollectMessage(GSRuntime::GSThread& thread);
    void NativeCreateGroup(GSRuntime::GSThread& thread);
    void NativeOpenGroup(GSRuntime::GSThread& thread);
    void NativePostOfflineMessage(GSRuntime::GSThread& thread);
    void NativeCollectOfflineMessage(GSRuntime::GSThread& thread);

    // Posts the script message to the object itself while it has a router.
    void PostToSelf(const char* major, const char* minor);

private:
    GSOOnlineAccess(GSRuntime::GSContext* context, const KUID& asset);

    // Pushes a new group of this owner, cast to the class OnlineGroup.
    void PushNewGroup(GSRuntime::GSThread& thread, const Nyx::PString& groupId);

    int32_t lastStatus_ = 0;
    bool senderModified_ = false;
    std::deque<std::unique_ptr<OnlineMessage>> pending_;
    bool newMessage_ = false;
};

// The smallest non-negative number, written with "%d", that names no child
// of the container.
Nyx::PString FreeChildNumber(const ChunkRef& container);
