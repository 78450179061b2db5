#include "kaddaemon/DaemonConnection.h"

#include <algorithm>
#include <exception>
#include <string>

#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/RequestTable.h"
#include "kaddaemon/ResultNotes.h"
#include "kaddaemon/SocketIO.h"
#include "kaddaemon/TraceLog.h"

namespace kaddaemon {
namespace {

// Payload buffers that grew past this for one large frame are given back
// rather than kept for the life of the connection.
constexpr uint32_t kKeepBufferLimit = 4u << 20;
// A payload is read in steps that double up to its length, so a peer that
// announces much and sends little costs little memory.
constexpr uint32_t kFirstPayloadStep = 64u * 1024;
// Held-back frames go out once this many bytes gather; a frame that would
// take them past it is not held back.
constexpr size_t kHeldBackLimit = 64u * 1024;

// Runs a wire reader over received bytes.
template <class Reader>
bool Decode(const uint8_t* bytes, uint32_t n, Reader read)
{
    Nyx::DynamicBuffer buffer(n);
    TBuffer stream(&buffer);
    stream.WriteBytes(bytes, n);
    stream.Rewind();
    return read(stream);
}

void ShrinkIfLarge(std::unique_ptr<Nyx::DynamicBuffer>& buffer)
{
    if (buffer->AllocatedSize() > kKeepBufferLimit)
        buffer = std::make_unique<Nyx::DynamicBuffer>();
}

}  // namespace

DaemonConnection::DaemonConnection(DaemonServer& server, int fd)
    : server_(server), fd_(fd), request_(std::make_unique<Nyx::DynamicBuffer>()),
      reply_(std::make_unique<Nyx::DynamicBuffer>())
{
}

DaemonConnection::~DaemonConnection()
{
    Shutdown();
    Join();
    CloseSocket(fd_);
}

bool DaemonConnection::Start()
{
    return thread_.Start([this]() { Run(); });
}

void DaemonConnection::Shutdown() { ::shutdown(fd_, SHUT_RDWR); }

void DaemonConnection::Join() { thread_.Join(); }

bool DaemonConnection::PeerGone() const
{
    pollfd peer{fd_, POLLRDHUP, 0};
    if (::poll(&peer, 1, 0) < 0)
        return false;
    return (peer.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void DaemonConnection::Run()
{
    {
        std::lock_guard<std::mutex> hold(writeLock_);
        readerId_ = std::this_thread::get_id();
    }
    SocketReader reader(fd_);
    reader.SetBeforeWait([this]() { Flush(); });
    if (Handshake(reader)) {
        if (server_.WaitReady()) {
            while (ServeFrame(reader)) {
            }
        } else {
            RefuseFrames(reader);
        }
    }
    Flush();
    // The peer learns at once that we are done; the descriptor itself is
    // closed only when the server lets go of this object, so that it is
    // never reused under a Shutdown call of the server.
    ::shutdown(fd_, SHUT_RDWR);
    for (auto& action : atEnd_)
        action();
    atEnd_.clear();
    finished_.store(true, std::memory_order_release);
}

bool DaemonConnection::Handshake(SocketReader& reader)
{
    uint8_t fixed[DaemonWire::kClientHelloFixedSize];
    if (!reader.ReadExact(fixed, sizeof fixed))
        return false;
    DaemonWire::ClientHello hello;
    if (!Decode(fixed, sizeof fixed, [&](TStream& s) { return DaemonWire::ReadClientHello(s, hello); }))
        return false;
    // The path is read to keep the stream in step; what the client names
    // as its data folder is not checked against ours.
    std::string path(hello.pathLength, '\0');
    if (!reader.ReadExact(path.data(), path.size()))
        return false;
    if (TraceLog* trace = server_.Trace())
        trace->Frame("in", "CDAT", hello.version, hello.build, hello.pathLength);
    // A daemon that is closing takes no new client: the client then looks
    // for (or starts) the daemon that comes after it.
    if (server_.Stopping())
        return false;

    // The first word names this process, so that a daemon probing the
    // port found in the discovery block can tell that it reached the
    // block's holder and not some other server.
    DaemonWire::DaemonHello answer{server_.ProcessId(), 0};
    Nyx::DynamicBuffer bytes(DaemonWire::kDaemonHelloSize);
    TBuffer out(&bytes);
    DaemonWire::WriteDaemonHello(out, answer);
    if (TraceLog* trace = server_.Trace())
        trace->Frame("out", "DDAT", answer.first, answer.second, 0);
    std::lock_guard<std::mutex> hold(writeLock_);
    return SendAll(fd_, bytes.Data(), bytes.DataLength());
}

void DaemonConnection::RefuseFrames(SocketReader& reader)
{
    const std::string refusal = server_.Refusal();
    if (refusal.empty())
        return;
    // The client's request follows its handshake at once; one that never
    // comes is not waited for long.
    timeval wait{DaemonServer::kRefusalReadMs / 1000, (DaemonServer::kRefusalReadMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    uint8_t head[DaemonWire::kFrameHeaderSize];
    while (reader.ReadExact(head, 4) && LoadLE32(head) != DaemonWire::kRequestDisconnect &&
           reader.ReadExact(head + 4, sizeof head - 4)) {
        DaemonWire::FrameHeader frame;
        if (!Decode(head, sizeof head, [&](TStream& s) { return DaemonWire::ReadFrameHeader(s, frame); }))
            return;
        try {
            if (!ReadPayload(reader, frame.length))
                return;
        } catch (const std::exception&) {
            return;
        }
        if (TraceLog* trace = server_.Trace())
            trace->Frame("in", "request", frame.word, frame.second, frame.length);
        SendErrors(NotesOf(*this), frame.second, {refusal});
        Flush();
    }
}

bool DaemonConnection::ReadPayload(SocketReader& reader, uint32_t length)
{
    request_->Clean();
    uint32_t have = 0;
    while (have < length) {
        uint32_t step = std::min(length - have, std::max(have, kFirstPayloadStep));
        request_->SetDataLength(have + step);
        if (!reader.ReadExact(request_->Data() + have, step))
            return false;
        have += step;
    }
    request_->Seek(0);
    return true;
}

bool DaemonConnection::ServeFrame(SocketReader& reader)
{
    uint8_t head[DaemonWire::kFrameHeaderSize];
    if (!reader.ReadExact(head, 4))
        return false;
    if (LoadLE32(head) == DaemonWire::kRequestDisconnect) {
        if (TraceLog* trace = server_.Trace())
            trace->Frame("in", "request", DaemonWire::kRequestDisconnect, 0, 0);
        return false;
    }
    if (!reader.ReadExact(head + 4, sizeof head - 4))
        return false;
    DaemonWire::FrameHeader frame;
    if (!Decode(head, sizeof head, [&](TStream& s) { return DaemonWire::ReadFrameHeader(s, frame); }))
        return false;  // a payload over the limit: the peer is cut off
    if (TraceLog* trace = server_.Trace())
        trace->Frame("in", "request", frame.word, frame.second, frame.length);

    try {
        if (!ReadPayload(reader, frame.length))
            return false;
    } catch (const std::exception&) {
        return false;  // no memory for it: the frame cannot be skipped safely either
    }

    RequestContext context{server_, *this, frame.word, frame.second};
    moreInput_ = reader.Buffered() > 0;
    reply_->Clean();
    if (const RequestHandler* handler = server_.Requests().Find(frame.word)) {
        try {
            TBuffer request(request_.get());
            TBuffer reply(reply_.get());
            (*handler)(context, request, reply);
        } catch (const std::exception&) {
            // A handler that failed half-way answers nothing rather than
            // half an answer.
            reply_->Clean();
        }
    }

    bool sent = true;
    if (context.replyNow)
        sent = SendReply(frame.word, frame.second, reply_->Data(), reply_->DataLength());
    ShrinkIfLarge(request_);
    ShrinkIfLarge(reply_);
    if (context.stopAfterReply || context.closeConnection)
        sent = Flush() && sent;
    if (context.stopAfterReply) {
        // The server closes this connection last, once it has withdrawn.
        askedToStop_.store(true, std::memory_order_release);
        server_.RequestStop();
    }
    return sent && !context.closeConnection;
}

bool DaemonConnection::SendReply(uint32_t number, uint32_t transactionId, const void* payload, uint32_t length)
{
    DaemonWire::FrameHeader answer{DaemonWire::kTagReply, transactionId, length};
    if (TraceLog* trace = server_.Trace())
        trace->Frame("out", "reply", number, transactionId, length);
    return SendFrame(answer, payload);
}

bool DaemonConnection::SendRaw(const void* bytes, uint32_t length)
{
    std::lock_guard<std::mutex> hold(writeLock_);
    return FlushLocked() && SendAll(fd_, bytes, length);
}

bool DaemonConnection::Flush()
{
    std::lock_guard<std::mutex> hold(writeLock_);
    return FlushLocked();
}

bool DaemonConnection::FlushLocked()
{
    if (heldBack_.empty())
        return true;
    const bool sent = SendAll(fd_, heldBack_.data(), heldBack_.size());
    heldBack_.clear();
    return sent;
}

bool DaemonConnection::TakeHeldReply(uint32_t transactionId, HeldReply& reply)
{
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (it->transactionId == transactionId) {
            reply = std::move(*it);
            held_.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<DaemonConnection::HeldReply> DaemonConnection::TakeHeldReplies()
{
    std::vector<HeldReply> all;
    all.swap(held_);
    return all;
}

bool DaemonConnection::SendFrame(const DaemonWire::FrameHeader& header, const void* payload)
{
    uint8_t head[DaemonWire::kFrameHeaderSize];
    {
        Nyx::DynamicBuffer bytes(DaemonWire::kFrameHeaderSize);
        TBuffer out(&bytes);
        DaemonWire::WriteFrameHeader(out, header);
        std::copy(bytes.Data(), bytes.Data() + sizeof head, head);
    }
    std::lock_guard<std::mutex> hold(writeLock_);
    const bool holdBack = std::this_thread::get_id() == readerId_ && moreInput_;
    // A frame that fits joins what is held back: held back in turn, or sent
    // with it in the same write.
    if ((holdBack || !heldBack_.empty()) && heldBack_.size() + sizeof head + header.length <= kHeldBackLimit) {
        const auto* bytes = static_cast<const uint8_t*>(payload);
        heldBack_.insert(heldBack_.end(), head, head + sizeof head);
        if (header.length > 0)
            heldBack_.insert(heldBack_.end(), bytes, bytes + header.length);
        return holdBack || FlushLocked();
    }
    return FlushLocked() && SendAll(fd_, head, sizeof head, payload, header.length);
}

bool DaemonConnection::SendNote(uint32_t kind, const void* payload, uint32_t length)
{
    if (TraceLog* trace = server_.Trace())
        trace->Frame("out", "note", kind, 0, length);
    return SendFrame(DaemonWire::FrameHeader{DaemonWire::kTagNote, kind, length}, payload);
}

}  // namespace kaddaemon
