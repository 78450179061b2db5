// A blocking TCP connection, made when the transport is constructed.
#pragma once

#include <cstdint>
#include <memory>

#include "kad/transport/NetTransport.h"

class TCPTransport : public NetTransport {
public:
    // Longest host name kept; a longer one is refused, not cut (a cut name
    // could name some other host).
    static constexpr uint32_t kMaxHostLength = 511;

    // Connects at once (ConnectSocket). A transport is always made: when no
    // connection came about, or the host name is too long, the state is
    // kStateConnectFailed and there is no socket.
    TCPTransport(const char* host, uint16_t port);
    ~TCPTransport() override;

    // One recv; a failure marks the transport kStateIOFailed (when it was
    // usable). Interrupted calls are retried.
    int32_t Read(void* buffer, int32_t length) override;
    int32_t Peek(void* buffer, int32_t length) override;
    int32_t Write(const void* buffer, int32_t length) override;
    // State kStateClosed; the socket is closed and forgotten.
    void Close() override;
    // A new TCPTransport to the stored host; null only when memory runs out.
    std::unique_ptr<NetTransport> OpenSibling(uint16_t port) override;
    // True when the socket holds unread bytes.
    bool BytesWaiting() override;

    const char* GetHost() const noexcept { return host_; }
    uint16_t GetPort() const noexcept { return port_; }

private:
    char host_[kMaxHostLength + 1] = {};
    uint16_t port_;
};
