// The datagram socket of the link and the peers it talks to. The socket is
// IPv4 UDP, non-blocking, bound to any address on a port the system picks;
// each received datagram goes to the peer whose address and port sent it.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

class TMESocket;

class TMEPeer {
public:
    using Handler = void (*)(void* context, TMEPeer& peer, const uint8_t* data, uint32_t size);

    sockaddr_in address{};
    Handler handler = nullptr;
    void* context = nullptr;
    TMESocket* socket = nullptr;
};

class TMESocket {
public:
    // The largest datagram one receive takes.
    static constexpr uint32_t kMaxDatagram = 100000;

    TMESocket() = default;
    ~TMESocket() { Close(); }
    TMESocket(const TMESocket&) = delete;
    TMESocket& operator=(const TMESocket&) = delete;

    // Closes any socket held first. False, with no socket, when creating,
    // switching to non-blocking or binding fails.
    bool Open();
    // Closes the socket and forgets the peers.
    void Close();
    bool IsOpen() const noexcept { return handle_ >= 0; }
    // The local port the system picked; 0 without a socket.
    uint16_t LocalPort() const;

    void AddPeer(TMEPeer* peer);
    void RemovePeer(TMEPeer* peer);
    bool HasPeer(const TMEPeer* peer) const;

    // For datagrams from senders that are no peer; none by default, and
    // those are dropped.
    void SetFallback(TMEPeer::Handler handler, void* context);

    // One sendto; false when it did not go out whole or there is no socket.
    bool SendTo(const sockaddr_in& address, const void* data, uint32_t size);
    // Receives at most one datagram and hands it on; false when nothing was
    // waiting.
    bool ReceiveOne();

private:
    int handle_ = -1;
    std::vector<TMEPeer*> peers_;
    TMEPeer::Handler fallback_ = nullptr;
    void* fallbackContext_ = nullptr;
    std::vector<uint8_t> buffer_;
};
