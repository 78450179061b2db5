#include "kaddaemon/SocketIO.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kaddaemon {

SocketReader::SocketReader(int fd) : fd_(fd), buffer_(new uint8_t[kBufferSize]) {}

bool SocketReader::ReadExact(void* out, size_t n)
{
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (begin_ < end_) {
            size_t take = std::min(n, end_ - begin_);
            std::memcpy(dst, buffer_.get() + begin_, take);
            begin_ += take;
            dst += take;
            n -= take;
            continue;
        }
        if (beforeWait_)
            beforeWait_();
        // Large remainders skip the buffer and land where they belong.
        bool direct = n >= kDirectReadSize;
        uint8_t* target = direct ? dst : buffer_.get();
        size_t room = direct ? n : kBufferSize;
        ssize_t got = ::recv(fd_, target, room, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        if (direct) {
            dst += got;
            n -= static_cast<size_t>(got);
        } else {
            begin_ = 0;
            end_ = static_cast<size_t>(got);
        }
    }
    return true;
}

bool SendAll(int fd, const void* first, size_t firstLength, const void* second, size_t secondLength)
{
    iovec parts[2];
    parts[0].iov_base = const_cast<void*>(first);
    parts[0].iov_len = firstLength;
    parts[1].iov_base = const_cast<void*>(second);
    parts[1].iov_len = secondLength;
    iovec* next = parts;
    int count = secondLength > 0 ? 2 : 1;
    while (count > 0) {
        if (next->iov_len == 0) {
            ++next;
            --count;
            continue;
        }
        msghdr msg{};
        msg.msg_iov = next;
        msg.msg_iovlen = static_cast<size_t>(count);
        ssize_t sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        auto done = static_cast<size_t>(sent);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<uint8_t*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

int ListenLoopback(uint16_t& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, SOMAXCONN) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

int ConnectLoopback(uint16_t port, int timeoutMs)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int err = 0;
        socklen_t len = sizeof err;
        if (ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            rc = 0;
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    SetNoDelay(fd);
    return fd;
}

void SetNoDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void CloseSocket(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

}  // namespace kaddaemon
