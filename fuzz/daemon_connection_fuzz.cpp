// The stand-in daemon's connection over arbitrary bytes: the input goes into
// one end of a socket pair exactly as a client would send it, and the
// connection the daemon runs for every client serves the other end with the
// daemon's whole request table over a small data root. Whatever the bytes,
// the connection ends once the input does, within a bound, and everything it
// wrote back is a daemon hello followed by whole 'repl' and 'note' frames.
//
// The first input byte picks the handshake: odd puts a valid one in front
// of the rest, even lets the rest carry its own.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FuzzDataRoot.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/DaemonServer.h"
#include "kaddaemon/RequestTable.h"
#include "kaddaemon/StandInRequests.h"
#include "kaddaemon/StoreRequests.h"

namespace {

namespace fs = std::filesystem;

// Far beyond what any input needs; a connection still running then hangs.
constexpr auto kServeBound = std::chrono::seconds(20);

struct Root {
    std::string path;
    std::shared_ptr<kaddaemon::AssetStore> store;

    Root()
    {
        char templ[] = "/tmp/daemon_connection_fuzz.XXXXXX";
        const char* made = ::mkdtemp(templ);
        if (!made)
            std::abort();
        path = made;
    }
    ~Root()
    {
        store.reset();
        std::error_code ec;
        fs::remove_all(path, ec);
    }

    // The same two assets before every input: requests may change them.
    std::shared_ptr<kaddaemon::AssetStore> Fresh()
    {
        store.reset();
        LayOutFuzzDataRoot(path);
        store = std::make_shared<kaddaemon::AssetStore>(path);
        if (!store->Open())
            std::abort();
        return store;
    }
};

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "daemon_connection_fuzz: %s\n", what);
    std::abort();
}

std::vector<uint8_t> ClientBytes(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes;
    if (size == 0)
        return bytes;
    if (data[0] & 1) {
        TBuffer hello;
        DaemonWire::WriteClientHello(hello, 0, "/data");
        hello.Rewind();
        bytes.resize(hello.GetSize());
        hello.ReadBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    bytes.insert(bytes.end(), data + 1, data + size);
    return bytes;
}

// Feeds `in` to the socket and gathers what comes back until the other end
// is done, reading while writing so neither side can stall the other.
std::vector<uint8_t> Exchange(int fd, const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out;
    size_t sent = 0;
    bool writeOpen = true;
    if (in.empty()) {
        ::shutdown(fd, SHUT_WR);
        writeOpen = false;
    }
    auto deadline = std::chrono::steady_clock::now() + kServeBound;
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline)
            Fail("the connection did not end after its input did");
        pollfd p{fd, static_cast<short>(POLLIN | (writeOpen ? POLLOUT : 0)), 0};
        int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR)
            Fail("poll failed");
        if (ready <= 0)
            continue;
        if (writeOpen && (p.revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = ::send(fd, in.data() + sent, in.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                sent += static_cast<size_t>(n);
            // The daemon may end the connection before taking everything.
            if (sent == in.size() || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                ::shutdown(fd, SHUT_WR);
                writeOpen = false;
            }
        }
        if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
            uint8_t chunk[16384];
            ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return out;
            if (n > 0)
                out.insert(out.end(), chunk, chunk + n);
        }
    }
}

// A daemon hello, then whole reply and notification frames, each within the
// payload limit. Test request 60010 breaks the stream on purpose; from
// there on nothing is checked.
void CheckAnswer(const std::vector<uint8_t>& out, bool brokenOnPurpose)
{
    if (out.empty())
        return;
    if (out.size() < DaemonWire::kDaemonHelloSize || LoadLE32(out.data()) != DaemonWire::kTagDaemonHello)
        Fail("the answer does not begin with a daemon hello");
    size_t at = DaemonWire::kDaemonHelloSize;
    while (at < out.size()) {
        if (out.size() - at < DaemonWire::kFrameHeaderSize) {
            if (brokenOnPurpose)
                return;
            Fail("a frame header is cut short");
        }
        uint32_t tag = LoadLE32(out.data() + at);
        uint32_t length = LoadLE32(out.data() + at + 8);
        if ((tag != DaemonWire::kTagReply && tag != DaemonWire::kTagNote) || length > DaemonWire::kMaxPayloadLength ||
            out.size() - at - DaemonWire::kFrameHeaderSize < length) {
            if (brokenOnPurpose)
                return;
            Fail("a frame that is no whole reply or note");
        }
        at += DaemonWire::kFrameHeaderSize + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Root root;
    std::vector<uint8_t> in = ClientBytes(data, size);

    kaddaemon::DaemonServer server;  // never started: only its request table serves
    kaddaemon::RegisterStoreRequests(server.Requests(), root.Fresh());
    kaddaemon::RegisterStandInRequests(server.Requests(), true);
    bool brokenOnPurpose = false;
    if (const kaddaemon::RequestHandler* found = server.Requests().Find(kaddaemon::testrequest::kBadFrame)) {
        kaddaemon::RequestHandler original = *found;
        server.Requests().Register(kaddaemon::testrequest::kBadFrame,
                                   [original, &brokenOnPurpose](kaddaemon::RequestContext& context, TStream& request,
                                                                TStream& reply) {
                                       brokenOnPurpose = true;
                                       original(context, request, reply);
                                   });
    }

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        Fail("no socket pair");
    std::vector<uint8_t> out;
    {
        // The connection owns its end from here on and closes it.
        kaddaemon::DaemonConnection connection(server, pair[1]);
        if (!connection.Start())
            Fail("cannot start the connection's reader");
        out = Exchange(pair[0], in);
        connection.Join();
        if (!connection.Finished())
            Fail("the reader ended without finishing");
    }
    ::close(pair[0]);
    CheckAnswer(out, brokenOnPurpose);
    return 0;
}
