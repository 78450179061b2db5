#include "kad/transport/TCPTransport.h"

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <new>

TCPTransport::TCPTransport(const char* host, uint16_t port) : port_(port)
{
    size_t length = host ? std::strlen(host) : 0;
    if (length > kMaxHostLength) {
        state_ = kStateConnectFailed;
        return;
    }
    if (length > 0)
        std::memcpy(host_, host, length);
    socket_ = ConnectSocket(host_, port_);
    if (socket_ == kInvalidSocket)
        state_ = kStateConnectFailed;
}

TCPTransport::~TCPTransport() { socket_ = CloseSocket(socket_); }

int32_t TCPTransport::Read(void* buffer, int32_t length)
{
    if (length < 0)
        return -1;
    ssize_t got;
    do
        got = ::recv(socket_, buffer, static_cast<size_t>(length), 0);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        MarkIOFailed();
    return static_cast<int32_t>(got);
}

int32_t TCPTransport::Peek(void* buffer, int32_t length)
{
    if (length < 0)
        return -1;
    ssize_t got;
    do
        got = ::recv(socket_, buffer, static_cast<size_t>(length), MSG_PEEK);
    while (got < 0 && errno == EINTR);
    return static_cast<int32_t>(got);
}

int32_t TCPTransport::Write(const void* buffer, int32_t length)
{
    if (length < 0)
        return -1;
    ssize_t sent;
    do
        sent = ::send(socket_, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return static_cast<int32_t>(sent);
}

void TCPTransport::Close()
{
    state_ = kStateClosed;
    socket_ = CloseSocket(socket_);
}

std::unique_ptr<NetTransport> TCPTransport::OpenSibling(uint16_t port)
{
    return std::unique_ptr<NetTransport>(new (std::nothrow) TCPTransport(host_, port));
}

bool TCPTransport::BytesWaiting()
{
    int waiting = 0;
    if (::ioctl(socket_, FIONREAD, &waiting) != 0)
        return false;
    return waiting > 0;
}
