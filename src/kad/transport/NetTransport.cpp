#include "kad/transport/NetTransport.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "kad/transport/HostResolver.h"

bool NetTransport::BytesWaiting() { return true; }

bool TransportReadExact(NetTransport& transport, void* buffer, uint32_t length)
{
    auto* at = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        if (transport.state_ != NetTransport::kStateOK || transport.socket_ == kInvalidSocket)
            return false;
        uint32_t piece = std::min(length, kTransportPieceSize);
        ssize_t got;
        do
            got = ::recv(transport.socket_, at, piece, 0);
        while (got < 0 && errno == EINTR);
        if (got <= 0) {
            transport.MarkIOFailed();
            return false;
        }
        at += got;
        length -= static_cast<uint32_t>(got);
    }
    return true;
}

bool TransportWriteExact(NetTransport& transport, const void* buffer, uint32_t length)
{
    const auto* at = static_cast<const uint8_t*>(buffer);
    while (length > 0) {
        if (transport.state_ != NetTransport::kStateOK || transport.socket_ == kInvalidSocket)
            return false;
        uint32_t piece = std::min(length, kTransportPieceSize);
        ssize_t sent;
        do
            sent = ::send(transport.socket_, at, piece, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        if (sent < 0) {
            transport.MarkIOFailed();
            return false;
        }
        at += sent;
        length -= static_cast<uint32_t>(sent);
    }
    return true;
}

bool TransportWriteGather(NetTransport& transport, const iovec* parts, uint32_t count, uint64_t& written)
{
    written = 0;
    // Taken apart as the socket accepts less than all.
    constexpr uint32_t kMaxParts = 64;
    iovec rest[kMaxParts];
    while (count > 0) {
        uint32_t n = std::min(count, kMaxParts);
        std::copy(parts, parts + n, rest);
        iovec* next = rest;
        uint32_t left = n;
        while (left > 0) {
            if (transport.state_ != NetTransport::kStateOK || transport.socket_ == kInvalidSocket)
                return false;
            if (next->iov_len == 0) {
                ++next;
                --left;
                continue;
            }
            msghdr message{};
            message.msg_iov = next;
            message.msg_iovlen = left;
            ssize_t sent;
            do
                sent = ::sendmsg(transport.socket_, &message, MSG_NOSIGNAL);
            while (sent < 0 && errno == EINTR);
            if (sent < 0) {
                transport.MarkIOFailed();
                return false;
            }
            written += static_cast<uint64_t>(sent);
            auto done = static_cast<size_t>(sent);
            while (left > 0 && done >= next->iov_len) {
                done -= next->iov_len;
                ++next;
                --left;
            }
            if (left > 0) {
                next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
                next->iov_len -= done;
            }
        }
        parts += n;
        count -= n;
    }
    return true;
}

namespace {

// A blocking connect that survives signals: an interrupted connect goes on
// in the background, so wait for it and collect its outcome instead of
// calling connect again.
bool ConnectBlocking(SocketHandle s, const sockaddr_in& addr)
{
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    if (errno != EINTR)
        return false;
    pollfd pfd{s, POLLOUT, 0};
    int ready;
    do
        ready = ::poll(&pfd, 1, -1);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return false;
    return err == 0;
}

}  // namespace

SocketHandle ConnectSocket(const char* host, uint16_t port)
{
    sockaddr_in addr{};
    if (!HostResolver::Resolve(host, port, addr))
        return kInvalidSocket;
    SocketHandle s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return kInvalidSocket;
    if (!ConnectBlocking(s, addr))
        return CloseSocket(s);
    // Requests are small frames written piecewise; waiting to coalesce them
    // only adds latency to every call.
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

SocketHandle CloseSocket(SocketHandle socket)
{
    if (socket != kInvalidSocket)
        ::close(socket);
    return kInvalidSocket;
}
