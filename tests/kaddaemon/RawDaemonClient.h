// A test client that speaks the daemon's wire format byte by byte, so tests
// can send what a real client would and also what none should.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"

class RawDaemonClient {
public:
    RawDaemonClient() = default;
    ~RawDaemonClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawDaemonClient(const RawDaemonClient&) = delete;
    RawDaemonClient& operator=(const RawDaemonClient&) = delete;

    bool Connect(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return false;
        // A daemon that stops answering fails the test instead of hanging it.
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }

    bool Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    bool Receive(std::string& out, size_t n)
    {
        out.assign(n, '\0');
        size_t have = 0;
        while (have < n) {
            ssize_t got = ::recv(fd_, out.data() + have, n - have, 0);
            if (got <= 0)
                return false;
            have += static_cast<size_t>(got);
        }
        return true;
    }

    // The client's handshake; true when "DDAT" came back.
    bool Handshake(std::string_view path = "/data", DaemonWire::DaemonHello* answer = nullptr)
    {
        Nyx::DynamicBuffer buffer;
        {
            TBuffer out(&buffer);
            DaemonWire::WriteClientHello(out, 1, path);
        }
        if (!Send(AsText(buffer)))
            return false;
        std::string bytes;
        if (!Receive(bytes, DaemonWire::kDaemonHelloSize))
            return false;
        DaemonWire::DaemonHello hello;
        bool ok = Decode(bytes, [&](TStream& s) { return DaemonWire::ReadDaemonHello(s, hello); });
        if (answer)
            *answer = hello;
        return ok;
    }

    bool SendRequest(uint32_t number, uint32_t id, std::string_view payload)
    {
        return Send(RequestBytes(number, id, payload));
    }

    static std::string RequestBytes(uint32_t number, uint32_t id, std::string_view payload)
    {
        Nyx::DynamicBuffer buffer;
        {
            TBuffer out(&buffer);
            DaemonWire::WriteFrameHeader(out, {number, id, static_cast<uint32_t>(payload.size())});
            out.WriteBytes(payload.data(), static_cast<uint32_t>(payload.size()));
        }
        return AsText(buffer);
    }

    // One frame from the daemon: its tag, its second word and its payload.
    bool ReadFrame(uint32_t& tag, uint32_t& second, std::string& payload)
    {
        std::string head;
        if (!Receive(head, DaemonWire::kFrameHeaderSize))
            return false;
        DaemonWire::FrameHeader frame;
        if (!Decode(head, [&](TStream& s) { return DaemonWire::ReadFrameHeader(s, frame); }))
            return false;
        tag = frame.word;
        second = frame.second;
        return Receive(payload, frame.length);
    }

    // True when the daemon has closed the connection (nothing more comes).
    bool WaitClosed()
    {
        char c;
        return ::recv(fd_, &c, 1, 0) == 0;
    }

    int Fd() const { return fd_; }

private:
    static std::string AsText(Nyx::DynamicBuffer& buffer)
    {
        return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.DataLength());
    }

    template <class Reader>
    static bool Decode(const std::string& bytes, Reader read)
    {
        Nyx::DynamicBuffer buffer;
        TBuffer in(&buffer);
        in.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
        in.Rewind();
        return read(in);
    }

    int fd_ = -1;
};
