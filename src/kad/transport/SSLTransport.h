// A TLS connection over a TCP one. The peer's certificate is not checked.
#pragma once

#include <cstdint>
#include <memory>

#include "kad/transport/NetTransport.h"

struct ssl_st;

class SSLTransport : public NetTransport {
public:
    // Connects (ConnectSocket) and runs the client handshake with the
    // context of NetStartup. A transport is always made: when the
    // connection or the handshake fails (or networking is not started) the
    // state is kStateConnectFailed, with neither a socket nor a TLS object.
    SSLTransport(const char* host, uint16_t port);
    // Shuts the TLS session down and frees it, then closes a socket still held.
    ~SSLTransport() override;

    // The TLS reads and writes; -1 without a TLS object.
    int32_t Read(void* buffer, int32_t length) override;
    int32_t Peek(void* buffer, int32_t length) override;
    int32_t Write(const void* buffer, int32_t length) override;
    // State kStateClosed; the socket is closed, the TLS object stays until
    // the transport goes (cut loose from the socket, so nothing it does
    // afterwards reaches whatever reuses the descriptor).
    void Close() override;
    // Always null.
    std::unique_ptr<NetTransport> OpenSibling(uint16_t port) override;

    ssl_st* GetSSL() const noexcept { return ssl_; }

private:
    ssl_st* ssl_ = nullptr;  // owned
};
