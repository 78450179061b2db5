// Byte transports: the blocking connection every network conversation of the
// tool runs over, plus the socket helpers they share.
//
// A transport is used by one thread at a time; its owner serialises callers.
// Failures are reported through results and the sticky state, never thrown.
#pragma once

#include <cstdint>
#include <memory>

#include <sys/uio.h>

// A socket descriptor; kInvalidSocket when there is none.
using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

class NetTransport {
public:
    // Transport states. Anything but kStateOK makes the exact-length helpers
    // refuse; a receive or send failure stays until the transport goes.
    enum State : uint32_t {
        kStateOK = 0,
        kStateConnectFailed = 2,
        kStateClosed = 5,
        kStateIOFailed = 7,
    };

    NetTransport() = default;
    NetTransport(const NetTransport&) = delete;
    NetTransport& operator=(const NetTransport&) = delete;

    // Virtual operations, in the family's slot order.

    // Bytes received, 0 when the peer closed, negative on error. A negative
    // length is refused with -1.
    virtual int32_t Read(void* buffer, int32_t length) = 0;
    // As Read, but the data stays queued.
    virtual int32_t Peek(void* buffer, int32_t length) = 0;
    // Bytes sent, or negative.
    virtual int32_t Write(const void* buffer, int32_t length) = 0;
    virtual void Close() = 0;
    // A new transport to the same host on another port; null when the kind
    // of transport cannot open one. Test the new transport's state.
    virtual std::unique_ptr<NetTransport> OpenSibling(uint16_t port) = 0;
    virtual ~NetTransport() = default;
    // Whether data can be read without blocking; transports that cannot
    // tell answer true.
    virtual bool BytesWaiting();

    uint32_t GetState() const noexcept { return state_; }
    SocketHandle GetSocket() const noexcept { return socket_; }

protected:
    friend bool TransportReadExact(NetTransport& transport, void* buffer, uint32_t length);
    friend bool TransportWriteExact(NetTransport& transport, const void* buffer, uint32_t length);
    friend bool TransportWriteGather(NetTransport& transport, const iovec* parts, uint32_t count,
                                     uint64_t& written);

    // Marks a receive or send failure unless an earlier state already holds.
    void MarkIOFailed() noexcept
    {
        if (state_ == kStateOK)
            state_ = kStateIOFailed;
    }

    uint32_t state_ = kStateOK;
    SocketHandle socket_ = kInvalidSocket;
};

// The largest piece the exact-length helpers hand to one recv or send.
constexpr uint32_t kTransportPieceSize = 32768;

// Moves exactly `length` bytes over the transport's socket, in pieces of at
// most kTransportPieceSize; true at once for length 0. They talk to the
// socket directly, so they suit plain TCP transports (the daemon link), not
// TLS ones. They refuse (false) when the state is not kStateOK or there is no
// socket before a piece; a receive of 0 or less (peer closed, error) or a
// failed send marks the transport kStateIOFailed and fails.
bool TransportReadExact(NetTransport& transport, void* buffer, uint32_t length);
bool TransportWriteExact(NetTransport& transport, const void* buffer, uint32_t length);
// Sends the parts one after another as one stream, in as few system calls
// as the socket allows; `written` tells how many bytes went out, also when
// it fails (as TransportWriteExact does).
bool TransportWriteGather(NetTransport& transport, const iovec* parts, uint32_t count, uint64_t& written);

// Resolves the host through HostResolver::Resolve (so networking must have
// been started, see NetStartup) and makes a blocking IPv4 TCP connection
// with Nagle's delay switched off. The connected socket, or kInvalidSocket;
// a socket whose connect failed is closed again before returning.
SocketHandle ConnectSocket(const char* host, uint16_t port);

// close() for a socket that may be kInvalidSocket; gives kInvalidSocket back
// so the caller can clear its handle in one step.
SocketHandle CloseSocket(SocketHandle socket);
