#include "online/TMEEndpoint.h"

#include <algorithm>
#include <vector>

#include "scriptapi/UpdateTick.h"

TMEEndpoint::~TMEEndpoint() { Detach(); }

float TMEEndpoint::Now() { return ToolClockSeconds(); }

void TMEEndpoint::Attach(TMEPeer* peer)
{
    Close();
    sendQueue_.clear();
    const float now = Now();
    lastSendTime_ = now;
    lastReceiveTime_ = now;
    lastReceived_ = 0;
    lastAcknowledged_ = 0;
    nextSendSequence_ = 1;
    nextExpectedSequence_ = 1;
    maxPacketBody_ = kDefaultMaxBody;
    maxOutOfOrder_ = kDefaultMaxOutOfOrder;
    peer_ = peer;
    if (peer_) {
        peer_->handler = &TMEEndpoint::OnPeerDatagram;
        peer_->context = this;
    }
}

bool TMEEndpoint::Send(std::unique_ptr<TMEPacket>& packet)
{
    if (!packet || !peer_ || sendQueue_.size() > kMaxQueued)
        return false;
    sendQueue_.push_back(std::move(packet));
    return true;
}

void TMEEndpoint::Detach()
{
    if (!peer_)
        return;
    peer_->handler = nullptr;
    peer_->context = nullptr;
    peer_ = nullptr;
}

void TMEEndpoint::Close()
{
    if (peer_) {
        const uint8_t closing = 0;
        TransmitUnsequenced(&closing, 1);
        Detach();
    }
    outOfOrder_.clear();
    inFlight_.clear();
    OnLinkLost();
}

void TMEEndpoint::Transmit(TMEPacket& packet)
{
    if (!peer_)
        return;
    const float now = Now();
    ++packet.sendCount;
    packet.lastSendTime = now;
    packet.acknowledgement = lastReceived_;
    lastSendTime_ = now;
    lastAcknowledged_ = lastReceived_;
    const uint32_t size = packet.BodySize();
    std::vector<uint8_t> datagram(size_t(size) + 2);
    datagram[0] = packet.sequence;
    datagram[1] = packet.acknowledgement;
    if (size != 0)
        std::copy(packet.BodyData(), packet.BodyData() + size, datagram.begin() + 2);
    if (peer_->socket)
        peer_->socket->SendTo(peer_->address, datagram.data(), static_cast<uint32_t>(datagram.size()));
}

void TMEEndpoint::TransmitUnsequenced(const uint8_t* body, uint32_t size)
{
    TMEPacket packet(body, size);
    Transmit(packet);
}

void TMEEndpoint::Update()
{
    if (!peer_)
        return;
    const float now = Now();

    for (auto& packet : inFlight_) {
        if (now - packet->lastSendTime > kResendAfter) {
            if (packet->sendCount < kMaxSends) {
                Transmit(*packet);
            } else {
                Close();
            }
            return;
        }
    }

    while (inFlight_.size() < kMaxInFlight && !sendQueue_.empty()) {
        std::unique_ptr<TMEPacket> packet = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        packet->sequence = nextSendSequence_;
        nextSendSequence_ = NextSequence(nextSendSequence_);
        Transmit(*packet);
        inFlight_.push_back(std::move(packet));
    }

    if ((lastReceived_ != lastAcknowledged_ && now - lastSendTime_ > kAcknowledgeWithin)
        || now - lastSendTime_ > linkTimeout_) {
        TransmitUnsequenced(nullptr, 0);
        return;
    }

    if (now - lastReceiveTime_ > kIdleClose)
        Close();
}

void TMEEndpoint::OnPeerDatagram(void* context, TMEPeer&, const uint8_t* data, uint32_t size)
{
    static_cast<TMEEndpoint*>(context)->ReceiveDatagram(data, size);
}

void TMEEndpoint::ReleaseAcknowledged(uint8_t acknowledgement)
{
    if (acknowledgement == 0)
        return;
    std::erase_if(inFlight_, [&](const std::unique_ptr<TMEPacket>& packet) {
        return SequenceDistance(packet->sequence, acknowledgement) < 1;
    });
}

void TMEEndpoint::ReceiveDatagram(const uint8_t* data, uint32_t size)
{
    if (size < 2)
        return;
    const uint32_t bodySize = size - 2;
    if (bodySize > maxPacketBody_)
        return;
    auto packet = std::make_unique<TMEPacket>(data + 2, bodySize);
    packet->sequence = data[0];
    packet->acknowledgement = data[1];

    ReleaseAcknowledged(packet->acknowledgement);

    const float now = Now();
    if (packet->sequence == 0) {
        if (bodySize == 0)
            lastReceiveTime_ = now;
        else if (bodySize == 1)
            Close();
        return;
    }

    if (packet->sequence == nextExpectedSequence_) {
        while (packet) {
            if (lastReceived_ == lastAcknowledged_)
                lastSendTime_ = now;
            lastReceived_ = packet->sequence;
            HandlePacket(*packet);
            packet.reset();
            nextExpectedSequence_ = NextSequence(nextExpectedSequence_);
            auto it = std::find_if(outOfOrder_.begin(), outOfOrder_.end(),
                                   [&](const auto& held) { return held->sequence == nextExpectedSequence_; });
            if (it != outOfOrder_.end()) {
                packet = std::move(*it);
                outOfOrder_.erase(it);
            }
            // Handling may have closed the link; what is held back then
            // belongs to no link.
            if (!peer_)
                break;
        }
        lastReceiveTime_ = now;
        return;
    }

    if (SequenceDistance(packet->sequence, nextExpectedSequence_) < 0) {
        if (SequenceDistance(packet->sequence, lastAcknowledged_) < 1)
            lastAcknowledged_ = 0;
        return;
    }

    if (outOfOrder_.size() >= maxOutOfOrder_)
        return;
    for (const auto& held : outOfOrder_) {
        if (held->sequence == packet->sequence)
            return;
    }
    outOfOrder_.push_back(std::move(packet));
}
