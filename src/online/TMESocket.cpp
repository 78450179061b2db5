#include "online/TMESocket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

bool TMESocket::Open()
{
    Close();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int flags = ::fcntl(fd, F_GETFL, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void TMESocket::Close()
{
    if (handle_ >= 0)
        ::close(handle_);
    handle_ = -1;
    for (TMEPeer* peer : peers_)
        peer->socket = nullptr;
    peers_.clear();
}

uint16_t TMESocket::LocalPort() const
{
    if (handle_ < 0)
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void TMESocket::AddPeer(TMEPeer* peer)
{
    if (!peer || HasPeer(peer))
        return;
    peer->socket = this;
    peers_.push_back(peer);
}

void TMESocket::RemovePeer(TMEPeer* peer)
{
    auto it = std::find(peers_.begin(), peers_.end(), peer);
    if (it == peers_.end())
        return;
    peers_.erase(it);
    peer->socket = nullptr;
}

bool TMESocket::HasPeer(const TMEPeer* peer) const
{
    return std::find(peers_.begin(), peers_.end(), peer) != peers_.end();
}

void TMESocket::SetFallback(TMEPeer::Handler handler, void* context)
{
    fallback_ = handler;
    fallbackContext_ = context;
}

bool TMESocket::SendTo(const sockaddr_in& address, const void* data, uint32_t size)
{
    if (handle_ < 0)
        return false;
    ssize_t sent = ::sendto(handle_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                            sizeof address);
    return sent == static_cast<ssize_t>(size);
}

bool TMESocket::ReceiveOne()
{
    if (handle_ < 0)
        return false;
    if (buffer_.size() != kMaxDatagram)
        buffer_.resize(kMaxDatagram);
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t got = ::recvfrom(handle_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0)
        return false;
    const auto size = static_cast<uint32_t>(got);
    for (TMEPeer* peer : peers_) {
        if (peer->address.sin_addr.s_addr == from.sin_addr.s_addr && peer->address.sin_port == from.sin_port) {
            if (peer->handler)
                peer->handler(peer->context, *peer, buffer_.data(), size);
            return true;
        }
    }
    if (fallback_) {
        TMEPeer stranger;
        stranger.address = from;
        stranger.socket = this;
        fallback_(fallbackContext_, stranger, buffer_.data(), size);
    }
    return true;
}
