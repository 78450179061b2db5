// One client connection of the stand-in daemon: its reader thread runs the
// handshake and then answers request frames until the client leaves.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nyx/base/DynamicBuffer.h"
#include "nyx/base/Thread.h"

namespace DaemonWire {
struct FrameHeader;
}

namespace kaddaemon {

class DaemonServer;
class SocketReader;

class DaemonConnection {
public:
    // Takes over the connected socket.
    DaemonConnection(DaemonServer& server, int fd);
    ~DaemonConnection();  // joins the reader and closes the socket
    DaemonConnection(const DaemonConnection&) = delete;
    DaemonConnection& operator=(const DaemonConnection&) = delete;

    bool Start();
    // Wakes the reader thread from any read so that it ends.
    void Shutdown();
    void Join();
    // The reader has ended (the socket is still open until destruction).
    bool Finished() const noexcept { return finished_.load(std::memory_order_acquire); }
    // The client asked the daemon to stop (request 270) on this connection.
    bool AskedToStop() const noexcept { return askedToStop_.load(std::memory_order_acquire); }
    // The client has closed its end or the connection broke; for a handler
    // that works on while its client may leave.
    bool PeerGone() const;

    // Sends a notification frame ('note', kind, length, payload).
    bool SendNote(uint32_t kind, const void* payload, uint32_t length);
    // Sends a reply frame ('repl', id, length, payload); the trace names
    // the request number given.
    bool SendReply(uint32_t number, uint32_t transactionId, const void* payload, uint32_t length);
    // Sends bytes as they are, for frames no well-behaved daemon sends.
    bool SendRaw(const void* bytes, uint32_t length);
    // Sends the frames the reader thread has held back. A handler that
    // waits for anything outside its own connection calls it first, so
    // that the peer is not kept waiting for earlier answers meanwhile.
    bool Flush();

    // Replies a handler keeps back to send later. Only handlers use them,
    // and handlers run on the reader thread, so they need no lock.
    struct HeldReply {
        uint32_t number;
        uint32_t transactionId;
        std::string payload;
    };
    void HoldReply(HeldReply reply) { held_.push_back(std::move(reply)); }
    // Takes the held reply of that id out; false when there is none.
    bool TakeHeldReply(uint32_t transactionId, HeldReply& reply);
    // Takes every held reply out, in the order they were held.
    std::vector<HeldReply> TakeHeldReplies();

    // Work to do once the reader has stopped serving, before the connection
    // counts as finished (so before it can be destroyed). Only handlers add
    // it, on the reader thread, which also runs it: no lock.
    void AtEnd(std::function<void()> action) { atEnd_.push_back(std::move(action)); }

private:
    void Run();
    bool Handshake(SocketReader& reader);
    // Serves one request frame; false when the connection is to end.
    bool ServeFrame(SocketReader& reader);
    // Answers each request that arrives soon with the server's refusal, as
    // an error note of its transaction and no reply.
    void RefuseFrames(SocketReader& reader);
    bool ReadPayload(SocketReader& reader, uint32_t length);
    // Writes one frame whole under the write lock, after the frames held
    // back; or holds it back too (see held_).
    bool SendFrame(const DaemonWire::FrameHeader& header, const void* payload);
    bool FlushLocked();

    DaemonServer& server_;
    int fd_;
    Nyx::Thread thread_;
    std::mutex writeLock_;
    // Frames the reader thread sends while the start of the next request
    // is already in: they go out together, in one write, when it has
    // answered all it holds and is about to wait (or when enough gathers),
    // so that a peer with several requests out gets their answers in one
    // piece. Every other send writes them first, keeping the order.
    std::vector<uint8_t> heldBack_;  // under writeLock_
    bool moreInput_ = false;         // reader thread only
    std::thread::id readerId_;       // under writeLock_
    std::atomic<bool> finished_{false};
    std::atomic<bool> askedToStop_{false};
    // Reused from frame to frame; only the reader thread touches them.
    std::unique_ptr<Nyx::DynamicBuffer> request_;
    std::unique_ptr<Nyx::DynamicBuffer> reply_;
    std::vector<HeldReply> held_;
    std::vector<std::function<void()>> atEnd_;
};

}  // namespace kaddaemon
