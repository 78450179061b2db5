#include "kad/KADClientLink.h"

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>

#include "core/TStream.h"
#include "kad/KADClient.h"
#include "kad/KADClientTransaction.h"
#include "kad/SpinWait.h"

namespace {

thread_local bool t_onReceiver = false;

uint32_t LoadLE32(const uint8_t* p) noexcept
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

KADClientLink::KADClientLink(std::unique_ptr<TCPTransport> transport, uint64_t serial)
    : transport_(std::move(transport)), socket_(transport_->GetSocket()), serial_(serial)
{
}

KADClientLink::~KADClientLink() { Close(); }

bool KADClientLink::OnReceiverThread() noexcept { return t_onReceiver; }

bool KADClientLink::StartReceiver()
{
    return receiver_.Start([this]() {
        t_onReceiver = true;
        RunReceiver();
    });
}

void KADClientLink::SetGo()
{
    go_.fetch_or(kGo, std::memory_order_acq_rel);
    go_.notify_all();
}

void KADClientLink::ResetGo() { go_.fetch_and(~kGo, std::memory_order_acq_rel); }

bool KADClientLink::WaitGo()
{
    // The requester hands the read side back a few microseconds after it
    // got it; a short spin spares the receiver going to sleep and being
    // woken for it.
    SpinUntil([this]() { return go_.load(std::memory_order_acquire) != 0; }, kGoSpinUs);
    for (;;) {
        uint32_t state = go_.load(std::memory_order_acquire);
        if (state & kStop)
            return false;
        if (state & kGo)
            return true;
        go_.wait(state, std::memory_order_acquire);
    }
}

bool KADClientLink::StopRequested() { return (go_.load(std::memory_order_acquire) & kStop) != 0; }

void KADClientLink::Close()
{
    if (closed_)
        return;
    closed_ = true;
    go_.fetch_or(kStop, std::memory_order_acq_rel);
    go_.notify_all();
    if (socket_ != kInvalidSocket)
        ::shutdown(socket_, SHUT_RDWR);
    receiver_.Join();
    dead_.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> hold(readLock_);
    transport_->Close();
}

KADClientLink::ReplyRead KADClientLink::ReadReply(TStream& reply, bool& stored)
{
    std::lock_guard<std::mutex> hold(readLock_);
    if (IsDead())
        return ReplyRead::kGone;
    uint8_t word[4];
    if (!ReadExact(word, sizeof word))
        return ReplyRead::kBroken;
    const uint32_t length = LoadLE32(word);
    if (length > DaemonWire::kMaxPayloadLength)
        return ReplyRead::kBroken;
    // A reply that cannot be stored is still read to its end, so that the
    // link stays in step for the replies behind it.
    stored = true;
    uint8_t piece[kTransportPieceSize];
    for (uint32_t left = length; left > 0;) {
        uint32_t n = std::min(left, kTransportPieceSize);
        if (!ReadExact(piece, n))
            return ReplyRead::kBroken;
        if (stored && reply.WriteBytes(piece, n) != n)
            stored = false;
        left -= n;
    }
    SetGo();
    return ReplyRead::kRead;
}

bool KADClientLink::ReadExact(void* bytes, uint32_t length)
{
    auto* at = static_cast<uint8_t*>(bytes);
    while (length > 0) {
        ssize_t got = ::recv(socket_, at, std::min(length, kTransportPieceSize), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        length -= static_cast<uint32_t>(got);
    }
    return true;
}

bool KADClientLink::Skip(uint32_t length)
{
    uint8_t scratch[kTransportPieceSize];
    while (length > 0) {
        uint32_t piece = std::min<uint32_t>(length, sizeof scratch);
        if (!ReadExact(scratch, piece))
            return false;
        length -= piece;
    }
    return true;
}

bool KADClientLink::ReadFrameStart(uint32_t& tag, uint32_t& word)
{
    // Both words usually arrive together and are taken in one read; the
    // word is only waited for once the tag has been found good, so a peer
    // that sends a bad tag and falls silent ends the link at once.
    uint8_t head[8];
    uint32_t have = 0;
    while (have < 4) {
        ssize_t got = ::recv(socket_, head + have, sizeof head - have, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        have += static_cast<uint32_t>(got);
    }
    tag = LoadLE32(head);
    if (tag != DaemonWire::kTagReply && tag != DaemonWire::kTagNote)
        return false;
    if (have < sizeof head && !ReadExact(head + have, sizeof head - have))
        return false;
    word = LoadLE32(head + 4);
    return true;
}

void KADClientLink::RunReceiver()
{
    while (WaitGo()) {
        uint32_t tag = 0;
        uint32_t word = 0;
        if (!ReadFrameStart(tag, word))
            break;
        if (tag == DaemonWire::kTagNote) {
            if (!KADClient::ReadNotification(*this, word))
                break;
        } else {
            // The requester of a known id reads the rest of the frame and
            // hands the socket back.
            ResetGo();
            if (!KADClientTransaction::ReceiveReply(word)) {
                // Nobody will read this reply: its payload is skipped here,
                // or the next tag would be read from inside it.
                uint8_t length[4];
                if (!ReadExact(length, sizeof length) || LoadLE32(length) > DaemonWire::kMaxPayloadLength
                    || !Skip(LoadLE32(length)))
                    break;
                SetGo();
            }
        }
        if (StopRequested())
            break;
    }
    // The peer learns at once that we are done, and a requester still
    // writing gets an error instead of feeding a link nobody reads.
    ::shutdown(socket_, SHUT_RDWR);
    dead_.store(true, std::memory_order_release);
    KADClient::LinkEnded();
    SetGo();
    KADClientTransaction::FailAll(serial_);
}
