// One connection of the daemon client: the transport, the receiver thread
// that reads every frame the daemon sends, and the hand-over of the
// socket's read side between the receiver and the requester whose reply
// has arrived.
//
// The transport object belongs to the threads that hold the client's link
// lock, which write requests through it. Whoever holds the read side (the
// receiver, or the requester it handed a reply to) reads the socket
// directly and never touches the transport. The receiver ends by shutting
// the socket down, never by closing it, so the descriptor is not reused
// while a requester may still write to it or read from it. Only Close,
// after the receiver has been joined and the reader has let go, closes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kad/DaemonWire.h"
#include "kad/TCPTransport.h"
#include "nyx/Thread.h"

class TStream;

class KADClientLink {
public:
    KADClientLink(std::unique_ptr<TCPTransport> transport, uint64_t serial);
    // Close.
    ~KADClientLink();
    KADClientLink(const KADClientLink&) = delete;
    KADClientLink& operator=(const KADClientLink&) = delete;

    TCPTransport& Transport() noexcept { return *transport_; }
    // Numbers the connections of the process from 1; a lost connection
    // fails the requests armed with its serial.
    uint64_t Serial() const noexcept { return serial_; }

    bool StartReceiver();
    // The receiver has ended: nothing more can travel over this link.
    bool IsDead() const noexcept { return dead_.load(std::memory_order_acquire); }
    // Hands the socket's read side back to the receiver.
    void SetGo();
    // Wakes the receiver from any wait or read, waits for it to end (which
    // fails the requests this link carried) and closes the socket.
    void Close();

    // The two words of the daemon's handshake answer.
    DaemonWire::DaemonHello hello;

    // Whether the calling thread is the receiver of some link.
    static bool OnReceiverThread() noexcept;

    enum class ReplyRead {
        kRead,    // the payload was read; the read side is the receiver's again
        kGone,    // the link was closed meanwhile, and the reply with it
        kBroken,  // the read failed or the length is over the limit: close the link
    };
    // For the requester whose reply the receiver has handed over: reads the
    // reply's length and payload, appending the payload to `reply` (stored
    // is cleared when the stream took less), and hands the read side back.
    ReplyRead ReadReply(TStream& reply, bool& stored);

    // Exact reads of the socket, for the thread that holds its read side.
    bool ReadExact(void* bytes, uint32_t length);
    // Reads and drops that many bytes.
    bool Skip(uint32_t length);

private:
    void RunReceiver();
    // The tag and the word behind it; false for a tag other than 'repl' and
    // 'note' (read without waiting for the word) or a failed read.
    bool ReadFrameStart(uint32_t& tag, uint32_t& word);
    bool WaitGo();
    void ResetGo();
    bool StopRequested();

    std::unique_ptr<TCPTransport> transport_;
    const int socket_;
    const uint64_t serial_;
    Nyx::Thread receiver_;
    std::atomic<bool> dead_{false};
    bool closed_ = false;
    // Held by a requester reading its reply; Close waits for it before it
    // closes the socket under the reader.
    std::mutex readLock_;

    // The receiver-go event and the stop request, as bits of one word the
    // receiver waits on. A fresh link's read side belongs to the receiver.
    static constexpr uint32_t kGo = 1;
    static constexpr uint32_t kStop = 2;
    static constexpr uint32_t kGoSpinUs = 20;
    std::atomic<uint32_t> go_{kGo};
};
