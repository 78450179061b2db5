// One connection of the daemon client: the transport and the receiver
// thread that reads every frame the daemon sends. The receiver reads each
// reply whole into the stream of the request it answers and then wakes
// that request's thread; the socket's read side never leaves it.
//
// The transport object belongs to the threads that hold the client's link
// lock, which write requests through it. The receiver reads the socket
// directly and never touches the transport. It ends by shutting the socket
// down, never by closing it, so the descriptor is not reused while a
// requester may still write to it. Only Close, after the receiver has been
// joined, closes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "kad/client/DaemonWire.h"
#include "kad/transport/TCPTransport.h"
#include "nyx/base/Thread.h"

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
    // Wakes the receiver from any read, waits for it to end (which fails
    // the requests this link carried) and closes the socket.
    void Close();

    // The two words of the daemon's handshake answer.
    DaemonWire::DaemonHello hello;

    // Whether the calling thread is the receiver of some link.
    static bool OnReceiverThread() noexcept;

    // Exact reads of the socket, for the receiver.
    bool ReadExact(void* bytes, uint32_t length);
    // Reads and drops that many bytes.
    bool Skip(uint32_t length);

private:
    void RunReceiver();
    // The tag and the word behind it; false for a tag other than 'repl' and
    // 'note' (read without waiting for the word) or a failed read.
    bool ReadFrameStart(uint32_t& tag, uint32_t& word);
    // The rest of a reply frame whose id has been read: its length and its
    // payload, into the stream of the request of that id. False when the
    // link failed.
    bool ReadReply(uint32_t id);
    // Reads what the socket has (at least a byte) into the empty buffer,
    // after waking the requesters whose replies are in.
    bool Fill();
    void WakeRequesters();

    std::unique_ptr<TCPTransport> transport_;
    const int socket_;
    const uint64_t serial_;
    Nyx::Thread receiver_;
    std::atomic<bool> dead_{false};
    std::atomic<bool> stop_{false};
    bool closed_ = false;

    // What the receiver has read from the socket and not yet taken: whole
    // small frames usually arrive in one read.
    static constexpr uint32_t kInputSize = 64u * 1024;
    std::unique_ptr<uint8_t[]> input_;
    uint32_t inputAt_ = 0;
    uint32_t inputEnd_ = 0;
    // Requesters whose replies are in and who sleep: woken all at once
    // before the receiver reads on.
    std::vector<std::atomic<uint32_t>*> sleepers_;
};
