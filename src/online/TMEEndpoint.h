// A small reliable, ordered link over datagrams. Each datagram is a
// sequence byte, an acknowledgement byte and a body; sequenced packets are
// resent until acknowledged and handed on in order, unsequenced ones carry
// keep-alives, bare acknowledgements and the close. Time is the tool clock:
// nothing here runs unless Update is called.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "online/TMEPacket.h"
#include "online/TMESocket.h"

class TMEEndpoint {
public:
    static constexpr float kResendAfter = 10.0f;
    static constexpr uint8_t kMaxSends = 5;
    static constexpr size_t kMaxInFlight = 60;
    static constexpr size_t kMaxQueued = 1000;
    static constexpr float kAcknowledgeWithin = 1.0f;
    static constexpr float kIdleClose = 600.0f;
    static constexpr float kInitialLinkTimeout = 120.0f;
    static constexpr uint32_t kDefaultMaxBody = 32768;
    static constexpr uint32_t kDefaultMaxOutOfOrder = 100;

    TMEEndpoint() = default;
    virtual ~TMEEndpoint();
    TMEEndpoint(const TMEEndpoint&) = delete;
    TMEEndpoint& operator=(const TMEEndpoint&) = delete;

    // Closes any current link, forgets every packet of it (the queued ones
    // too: they were meant for the old link) and starts afresh on the peer.
    void Attach(TMEPeer* peer);
    // Takes the packet. False when it was not queued (no peer, or the queue
    // is full): the caller then still owns and discards it.
    bool Send(std::unique_ptr<TMEPacket>& packet);
    // Tells the peer (one close packet) and detaches it; the link is lost.
    void Close();
    // The transport step: resend, flush, acknowledge or keep alive, idle.
    virtual void Update();

    // The datagram handler installed on the attached peer.
    void ReceiveDatagram(const uint8_t* data, uint32_t size);

    // A non-zero acknowledgement releases every packet in flight up to it.
    virtual void ReleaseAcknowledged(uint8_t acknowledgement);

    bool IsAttached() const noexcept { return peer_ != nullptr; }
    size_t InFlightCount() const noexcept { return inFlight_.size(); }
    size_t QueuedCount() const noexcept { return sendQueue_.size(); }
    size_t OutOfOrderCount() const noexcept { return outOfOrder_.size(); }
    float LinkTimeout() const noexcept { return linkTimeout_; }

protected:
    // One in-order packet of the link; the packet is deleted afterwards.
    virtual void HandlePacket(TMEPacket& packet) = 0;
    virtual void OnLinkLost() {}
    static float Now();
    // Forgets the peer without telling it; for destructors of classes that
    // own their peer, which is gone before this base's destructor runs.
    void Detach();

    float linkTimeout_ = kInitialLinkTimeout;
    uint8_t nextSendSequence_ = 1;
    uint8_t nextExpectedSequence_ = 1;
    uint8_t lastReceived_ = 0;
    uint8_t lastAcknowledged_ = 0;
    float lastSendTime_ = 0.0f;
    float lastReceiveTime_ = 0.0f;
    std::deque<std::unique_ptr<TMEPacket>> outOfOrder_;
    std::deque<std::unique_ptr<TMEPacket>> inFlight_;
    std::deque<std::unique_ptr<TMEPacket>> sendQueue_;
    TMEPeer* peer_ = nullptr;
    uint32_t maxPacketBody_ = kDefaultMaxBody;
    uint32_t maxOutOfOrder_ = kDefaultMaxOutOfOrder;

private:
    static void OnPeerDatagram(void* context, TMEPeer& peer, const uint8_t* data, uint32_t size);
    void Transmit(TMEPacket& packet);
    void TransmitUnsequenced(const uint8_t* body, uint32_t size);
};

// Sequence numbers run 1..255 and wrap past 0, which is never used.
inline uint8_t NextSequence(uint8_t sequence) { return sequence == 255 ? 1 : uint8_t(sequence + 1); }
// a - b as a signed 8-bit distance.
inline int8_t SequenceDistance(uint8_t a, uint8_t b) { return static_cast<int8_t>(uint8_t(a - b)); }
