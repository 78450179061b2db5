// Plain loopback sockets for the stand-in daemon: exact reads through a
// per-connection buffer, whole writes, and the listening and probing
// sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace kaddaemon {

// Reads a connection's bytes through a buffer, so that a frame that arrives
// in one segment costs one system call however it is taken apart.
class SocketReader {
public:
    static constexpr size_t kBufferSize = 16 * 1024;
    // Reads at least this long go straight to their destination.
    static constexpr size_t kDirectReadSize = 8 * 1024;

    explicit SocketReader(int fd);

    // Exactly n bytes; false when the peer closed or the socket failed
    // first.
    bool ReadExact(void* out, size_t n);
    // Bytes received and not yet taken.
    size_t Buffered() const noexcept { return end_ - begin_; }
    // Called each time a read is about to wait for the peer.
    void SetBeforeWait(std::function<void()> action) { beforeWait_ = std::move(action); }

private:
    int fd_;
    std::function<void()> beforeWait_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

// Sends the first part and then the second (which may be empty) as one
// stream of bytes, resuming after partial writes; never raises SIGPIPE.
bool SendAll(int fd, const void* first, size_t firstLength, const void* second = nullptr, size_t secondLength = 0);

// A socket listening on 127.0.0.1 at a port the system picks; -1 on
// failure. `port` receives the port.
int ListenLoopback(uint16_t& port);

// A connected socket to 127.0.0.1:port, or -1 when no connection came about
// within the time. Reads and writes on it time out after the same time.
int ConnectLoopback(uint16_t port, int timeoutMs);

// Small frames go out at once.
void SetNoDelay(int fd);

void CloseSocket(int fd);

}  // namespace kaddaemon
