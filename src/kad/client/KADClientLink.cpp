#include "kad/client/KADClientLink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>

#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/FutexWord.h"
#include "kad/client/KADClient.h"
#include "kad/client/KADClientTransaction.h"

namespace {

thread_local bool t_onReceiver = false;

}  // namespace

KADClientLink::KADClientLink(std::unique_ptr<TCPTransport> transport, uint64_t serial)
    : transport_(std::move(transport)), socket_(transport_->GetSocket()), serial_(serial),
      input_(new uint8_t[kInputSize])
{
    sleepers_.reserve(64);
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

void KADClientLink::Close()
{
    if (closed_)
        return;
    closed_ = true;
    stop_.store(true, std::memory_order_release);
    if (socket_ != kInvalidSocket)
        ::shutdown(socket_, SHUT_RDWR);
    receiver_.Join();
    dead_.store(true, std::memory_order_release);
    transport_->Close();
}

void KADClientLink::WakeRequesters()
{
    for (std::atomic<uint32_t>* sleeper : sleepers_)
        futexword::WakeAll(*sleeper);
    sleepers_.clear();
}

bool KADClientLink::Fill()
{
    WakeRequesters();
    inputAt_ = 0;
    inputEnd_ = 0;
    for (;;) {
        ssize_t got = ::recv(socket_, input_.get(), kInputSize, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        inputEnd_ = static_cast<uint32_t>(got);
        return true;
    }
}

bool KADClientLink::ReadExact(void* bytes, uint32_t length)
{
    auto* at = static_cast<uint8_t*>(bytes);
    while (length > 0) {
        if (inputAt_ == inputEnd_ && !Fill())
            return false;
        uint32_t n = std::min(length, inputEnd_ - inputAt_);
        std::memcpy(at, input_.get() + inputAt_, n);
        inputAt_ += n;
        at += n;
        length -= n;
    }
    return true;
}

bool KADClientLink::Skip(uint32_t length)
{
    while (length > 0) {
        if (inputAt_ == inputEnd_ && !Fill())
            return false;
        uint32_t n = std::min(length, inputEnd_ - inputAt_);
        inputAt_ += n;
        length -= n;
    }
    return true;
}

bool KADClientLink::ReadFrameStart(uint32_t& tag, uint32_t& word)
{
    // The word is only waited for once the tag has been found good, so a
    // peer that sends a bad tag and falls silent ends the link at once.
    uint8_t head[4];
    if (!ReadExact(head, sizeof head))
        return false;
    tag = LoadLE32(head);
    if (tag != DaemonWire::kTagReply && tag != DaemonWire::kTagNote)
        return false;
    if (!ReadExact(head, sizeof head))
        return false;
    word = LoadLE32(head);
    return true;
}

bool KADClientLink::ReadReply(uint32_t id)
{
    uint8_t word[4];
    if (!ReadExact(word, sizeof word))
        return false;
    const uint32_t length = LoadLE32(word);
    if (length > DaemonWire::kMaxPayloadLength)
        return false;
    KADClientTransaction* transaction = KADClientTransaction::TakeForReply(id, serial_);
    if (!transaction) {
        // Nobody waits for this reply: its payload is skipped, or the next
        // tag would be read from inside it.
        return Skip(length);
    }
    // A reply the stream cannot take whole is still read to its end, so that
    // the link stays in step for the replies behind it.
    TStream* into = transaction->ReplyStream();
    bool whole = true;
    for (uint32_t left = length; left > 0;) {
        if (inputAt_ == inputEnd_ && !Fill()) {
            transaction->Complete(false);
            return false;
        }
        uint32_t n = std::min(left, inputEnd_ - inputAt_);
        if (whole && into && into->WriteBytes(input_.get() + inputAt_, n) != n)
            whole = false;
        inputAt_ += n;
        left -= n;
    }
    if (std::atomic<uint32_t>* sleeper = transaction->CompleteLater(whole))
        sleepers_.push_back(sleeper);
    return true;
}

void KADClientLink::RunReceiver()
{
    while (!stop_.load(std::memory_order_acquire)) {
        uint32_t tag = 0;
        uint32_t word = 0;
        if (!ReadFrameStart(tag, word))
            break;
        const bool ok = tag == DaemonWire::kTagNote ? KADClient::ReadNotification(*this, word) : ReadReply(word);
        if (!ok)
            break;
    }
    WakeRequesters();
    // The peer learns at once that we are done, and a requester still
    // writing gets an error instead of feeding a link nobody reads.
    ::shutdown(socket_, SHUT_RDWR);
    dead_.store(true, std::memory_order_release);
    KADClient::LinkEnded();
    KADClientTransaction::FailAll(serial_);
}
