#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kad/transport/NetStartup.h"
#include "kad/transport/SSLTransport.h"
#include "kad/transport/TCPTransport.h"
#include "kad/LoopbackServer.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

using looptest::DeadPort;
using looptest::LoopbackServer;

// recv and send are wrapped for this test program so a test can see how the
// exact-length helpers cut their work into socket calls. Counting is off
// unless the calling thread switches it on.
namespace {
thread_local bool t_counting = false;
thread_local int t_calls = 0;
thread_local size_t t_largest = 0;

void Count(size_t n)
{
    if (!t_counting)
        return;
    ++t_calls;
    if (n > t_largest)
        t_largest = n;
}

struct CallCounter {
    CallCounter()
    {
        t_counting = true;
        t_calls = 0;
        t_largest = 0;
    }
    ~CallCounter() { t_counting = false; }
};
}  // namespace

extern "C" ssize_t recv(int fd, void* buf, size_t n, int flags)
{
    using Fn = ssize_t (*)(int, void*, size_t, int);
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "recv"));
    Count(n);
    return real(fd, buf, n, flags);
}

extern "C" ssize_t send(int fd, const void* buf, size_t n, int flags)
{
    using Fn = ssize_t (*)(int, const void*, size_t, int);
    static Fn real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "send"));
    Count(n);
    return real(fd, buf, n, flags);
}

namespace {

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override { looptest::EnsureNetStartup(); }
};

TEST_F(TransportTest, TcpRoundTripPeekReadAndBytesWaiting)
{
    LoopbackServer server(LoopbackServer::Echo);
    TCPTransport t("127.0.0.1", server.Port());
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
    ASSERT_NE(t.GetSocket(), kInvalidSocket);
    EXPECT_STREQ(t.GetHost(), "127.0.0.1");
    EXPECT_EQ(t.GetPort(), server.Port());

    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    ASSERT_EQ(::getsockopt(t.GetSocket(), IPPROTO_TCP, TCP_NODELAY, &nodelay, &len), 0);
    EXPECT_NE(nodelay, 0);

    EXPECT_FALSE(t.BytesWaiting());
    EXPECT_EQ(t.Write("abcdef", 6), 6);

    char buf[16] = {};
    // Peek blocks until the echo is there and leaves it queued.
    int32_t peeked = t.Peek(buf, 1);
    ASSERT_EQ(peeked, 1);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_TRUE(t.BytesWaiting());

    ASSERT_TRUE(TransportReadExact(t, buf, 6));
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    EXPECT_FALSE(t.BytesWaiting());
    EXPECT_EQ(t.GetState(), NetTransport::kStateOK);

    // Zero-length transfers succeed; negative lengths are refused without
    // touching the state.
    EXPECT_EQ(t.Write(buf, 0), 0);
    EXPECT_EQ(t.Read(buf, -1), -1);
    EXPECT_EQ(t.Peek(buf, -1), -1);
    EXPECT_EQ(t.Write(buf, -1), -1);
    EXPECT_EQ(t.GetState(), NetTransport::kStateOK);
}

TEST_F(TransportTest, FailedConnectionsLeaveUnusableTransports)
{
    DeadPort dead;
    std::string tooLong(TCPTransport::kMaxHostLength + 1, 'a');
    struct Case {
        const char* name;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"nothing listens", "127.0.0.1", dead.Port()},
        {"host name too long", tooLong.c_str(), dead.Port()},
        {"empty host", "", dead.Port()},
        {"no host", nullptr, dead.Port()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TCPTransport t(c.host, c.port);
        EXPECT_EQ(t.GetState(), NetTransport::kStateConnectFailed);
        EXPECT_EQ(t.GetSocket(), kInvalidSocket);
        char buf[4];
        EXPECT_LT(t.Read(buf, 4), 0);
        EXPECT_LT(t.Peek(buf, 4), 0);
        EXPECT_LT(t.Write(buf, 4), 0);
        EXPECT_FALSE(t.BytesWaiting());
        EXPECT_FALSE(TransportReadExact(t, buf, 4));
        EXPECT_FALSE(TransportWriteExact(t, buf, 4));
        // Nothing to move succeeds whatever the state.
        EXPECT_TRUE(TransportReadExact(t, buf, 0));
        EXPECT_TRUE(TransportWriteExact(t, buf, 0));
        // The failed connect is not turned into an I/O failure.
        EXPECT_EQ(t.GetState(), NetTransport::kStateConnectFailed);
    }
    TCPTransport cut(tooLong.c_str(), dead.Port());
    EXPECT_STREQ(cut.GetHost(), "");
}

TEST_F(TransportTest, ClosePeerCloseAndResetStates)
{
    // Our own Close.
    {
        LoopbackServer server(LoopbackServer::Echo);
        TCPTransport t("127.0.0.1", server.Port());
        ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
        t.Close();
        EXPECT_EQ(t.GetState(), NetTransport::kStateClosed);
        EXPECT_EQ(t.GetSocket(), kInvalidSocket);
        char c;
        EXPECT_LT(t.Read(&c, 1), 0);
        EXPECT_EQ(t.GetState(), NetTransport::kStateClosed);
        EXPECT_FALSE(TransportWriteExact(t, "x", 1));
        t.Close();  // twice is harmless
        EXPECT_EQ(t.GetSocket(), kInvalidSocket);
    }
    // The peer closes in order: a read gives 0 and the transport stays
    // usable as far as Read is concerned, but the exact read fails.
    {
        LoopbackServer server([](int&) {});
        TCPTransport t("127.0.0.1", server.Port());
        ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
        server.Join();
        char c;
        EXPECT_EQ(t.Read(&c, 1), 0);
        EXPECT_EQ(t.GetState(), NetTransport::kStateOK);
        EXPECT_FALSE(TransportReadExact(t, &c, 1));
        EXPECT_EQ(t.GetState(), NetTransport::kStateIOFailed);
    }
    // The peer resets the connection: Read fails and the failure sticks.
    {
        LoopbackServer server([](int& fd) {
            linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        });
        TCPTransport t("127.0.0.1", server.Port());
        ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
        server.Join();
        char c;
        EXPECT_LT(t.Read(&c, 1), 0);
        EXPECT_EQ(t.GetState(), NetTransport::kStateIOFailed);
        EXPECT_NE(t.GetSocket(), kInvalidSocket);
        EXPECT_FALSE(TransportWriteExact(t, "x", 1));
        t.Close();
        EXPECT_EQ(t.GetState(), NetTransport::kStateClosed);
    }
}

TEST_F(TransportTest, OpenSiblingGoesToTheSameHost)
{
    LoopbackServer first(LoopbackServer::Echo);
    LoopbackServer second(LoopbackServer::Echo);
    DeadPort dead;
    TCPTransport t("localhost", first.Port());
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);

    std::unique_ptr<NetTransport> sibling = t.OpenSibling(second.Port());
    ASSERT_NE(sibling, nullptr);
    EXPECT_EQ(sibling->GetState(), NetTransport::kStateOK);
    auto* tcp = dynamic_cast<TCPTransport*>(sibling.get());
    ASSERT_NE(tcp, nullptr);
    EXPECT_STREQ(tcp->GetHost(), "localhost");
    EXPECT_EQ(tcp->GetPort(), second.Port());
    EXPECT_EQ(sibling->Write("ok", 2), 2);
    char buf[2];
    EXPECT_TRUE(TransportReadExact(*sibling, buf, 2));

    std::unique_ptr<NetTransport> nowhere = t.OpenSibling(dead.Port());
    ASSERT_NE(nowhere, nullptr);
    EXPECT_EQ(nowhere->GetState(), NetTransport::kStateConnectFailed);
}

TEST_F(TransportTest, ExactTransfersGoInPiecesOfAtMost32768Bytes)
{
    constexpr size_t kSize = 100000;
    const std::vector<uint8_t> pattern = Pattern(kSize);
    std::vector<uint8_t> received;
    LoopbackServer server([&](int& fd) {
        // Receive the client's block, then send the pattern back.
        received.resize(kSize);
        received.resize(looptest::RecvAll(fd, received.data(), kSize));
        looptest::SendAll(fd, pattern.data(), pattern.size());
    });
    TCPTransport t("127.0.0.1", server.Port());
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);

    {
        CallCounter counter;
        ASSERT_TRUE(TransportWriteExact(t, pattern.data(), kSize));
        EXPECT_GE(t_calls, 4);
        EXPECT_EQ(t_largest, kTransportPieceSize);
    }
    std::vector<uint8_t> back(kSize);
    {
        CallCounter counter;
        ASSERT_TRUE(TransportReadExact(t, back.data(), kSize));
        EXPECT_GE(t_calls, 4);
        EXPECT_LE(t_largest, kTransportPieceSize);
    }
    EXPECT_EQ(back, pattern);
    server.Join();
    EXPECT_EQ(received, pattern);

    {
        CallCounter counter;
        EXPECT_TRUE(TransportReadExact(t, back.data(), 0));
        EXPECT_TRUE(TransportWriteExact(t, back.data(), 0));
        EXPECT_EQ(t_calls, 0);
    }
}

TEST_F(TransportTest, ExactReadFailsWhenThePeerClosesMidway)
{
    const std::vector<uint8_t> pattern = Pattern(50000);
    LoopbackServer server([&](int& fd) { looptest::SendAll(fd, pattern.data(), pattern.size()); });
    TCPTransport t("127.0.0.1", server.Port());
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
    std::vector<uint8_t> back(100000);
    EXPECT_FALSE(TransportReadExact(t, back.data(), 100000));
    EXPECT_EQ(t.GetState(), NetTransport::kStateIOFailed);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), back.begin()));

    // Refused from now on, before any socket call.
    CallCounter counter;
    EXPECT_FALSE(TransportReadExact(t, back.data(), 1));
    EXPECT_FALSE(TransportWriteExact(t, back.data(), 1));
    EXPECT_EQ(t_calls, 0);
}

void NoteSignal(int) {}

TEST_F(TransportTest, InterruptedReadsAreRetried)
{
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = NoteSignal;  // no SA_RESTART: the signal breaks into recv
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);

    std::atomic<bool> release{false};
    LoopbackServer server([&](int& fd) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        looptest::SendAll(fd, "hello", 5);
        char c;
        looptest::RecvAll(fd, &c, 1);  // until the client closes
    });
    TCPTransport t("127.0.0.1", server.Port());
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);

    std::atomic<bool> reading{false};
    int32_t readResult = -99;
    int32_t exactOk = -99;
    char buf[8] = {};
    std::thread reader([&]() {
        reading = true;
        readResult = t.Read(buf, 1);
        exactOk = TransportReadExact(t, buf + 1, 4) ? 1 : 0;
    });
    while (!reading)
        std::this_thread::yield();
    pthread_t handle = reader.native_handle();
    for (int i = 0; i < 20; ++i) {
        ::pthread_kill(handle, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    release = true;
    reader.join();
    ::sigaction(SIGUSR1, &old, nullptr);

    EXPECT_EQ(readResult, 1);
    EXPECT_EQ(exactOk, 1);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(t.GetState(), NetTransport::kStateOK);
    t.Close();
}

// ---- TLS against the openssl command-line server ----

std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string candidate = all.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Runs a program with its standard output on a pipe; standard error is
// discarded.
class Child {
public:
    bool Start(const std::vector<std::string>& args)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }
    // Reads output lines until one starts with the prefix; the line, or
    // empty when the output ends or the bound passes.
    std::string WaitForLine(const std::string& prefix, int boundMs = 10000)
    {
        std::string line;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
        while (std::chrono::steady_clock::now() < until) {
            pollfd pfd{out_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            char c;
            if (::read(out_, &c, 1) != 1)
                return {};
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line.rfind(prefix, 0) == 0)
                return line;
            line.clear();
        }
        return {};
    }
    // Runs to the end; the exit status, or -1.
    int Wait()
    {
        if (pid_ <= 0)
            return -1;
        const int status = childprocess::WaitChild(pid_);
        pid_ = -1;
        if (status == -1)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

class SSLTransportTest : public TransportTest {
protected:
    void SetUp() override
    {
        TransportTest::SetUp();
        openssl_ = FindOnPath("openssl");
        if (openssl_.empty())
            GTEST_SKIP() << "the openssl command is not installed";
        ASSERT_NE(NetSSLContext(), nullptr);
        Child req;
        ASSERT_TRUE(req.Start({openssl_, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                               "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", dir_ / "key.pem",
                               "-out", dir_ / "cert.pem", "-days", "1", "-subj", "/CN=localhost"}));
        ASSERT_EQ(req.Wait(), 0);
    }

    // Starts a server that answers each line with the line reversed and
    // ends after one connection; its port.
    uint16_t StartReversingServer()
    {
        if (!server_.Start({openssl_, "s_server", "-accept", "127.0.0.1:0", "-cert", dir_ / "cert.pem",
                            "-key", dir_ / "key.pem", "-rev", "-naccept", "1"}))
            return 0;
        std::string line = server_.WaitForLine("ACCEPT");
        size_t colon = line.rfind(':');
        if (colon == std::string::npos)
            return 0;
        return static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
    }

    // Reads until n bytes came or the transport fails.
    static std::string ReadSome(NetTransport& t, size_t n)
    {
        std::string got;
        char buf[256];
        while (got.size() < n) {
            int32_t r = t.Read(buf, static_cast<int32_t>(std::min(sizeof buf, n - got.size())));
            if (r <= 0)
                break;
            got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }

    std::string openssl_;
    TempFolder dir_;
    Child server_;
};

TEST_F(SSLTransportTest, HandshakePeekReadWriteClose)
{
    uint16_t port = StartReversingServer();
    ASSERT_NE(port, 0);
    SSLTransport t("127.0.0.1", port);
    ASSERT_EQ(t.GetState(), NetTransport::kStateOK);
    ASSERT_NE(t.GetSSL(), nullptr);
    ASSERT_NE(t.GetSocket(), kInvalidSocket);
    EXPECT_TRUE(t.BytesWaiting());  // TLS cannot tell; it always says yes
    EXPECT_EQ(t.OpenSibling(static_cast<uint16_t>(port + 1)), nullptr);

    EXPECT_EQ(t.Write("hello\n", 6), 6);
    char first = 0;
    ASSERT_EQ(t.Peek(&first, 1), 1);
    EXPECT_EQ(first, 'o');
    EXPECT_EQ(ReadSome(t, 6), "olleh\n");

    EXPECT_EQ(t.Write("transport\n", 10), 10);
    EXPECT_EQ(ReadSome(t, 10), "tropsnart\n");

    t.Close();
    EXPECT_EQ(t.GetState(), NetTransport::kStateClosed);
    EXPECT_EQ(t.GetSocket(), kInvalidSocket);
    EXPECT_NE(t.GetSSL(), nullptr);
    char c;
    EXPECT_LT(t.Read(&c, 1), 0);
    EXPECT_LT(t.Write("x\n", 2), 0);
}

TEST_F(SSLTransportTest, NothingReachesADescriptorReusedAfterClose)
{
    uint16_t port = StartReversingServer();
    ASSERT_NE(port, 0);
    auto t = std::make_unique<SSLTransport>("127.0.0.1", port);
    ASSERT_EQ(t->GetState(), NetTransport::kStateOK);
    int oldFd = t->GetSocket();
    t->Close();

    // The lowest free descriptor is handed out next: the one just closed.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    int victim = pair[0] == oldFd ? pair[0] : pair[1] == oldFd ? pair[1] : -1;
    if (victim < 0) {
        ::close(pair[0]);
        ::close(pair[1]);
        GTEST_SKIP() << "the closed descriptor was not reused";
    }
    int other = victim == pair[0] ? pair[1] : pair[0];
    t.reset();  // shuts the session down

    char buf[64];
    EXPECT_EQ(::recv(other, buf, sizeof buf, MSG_DONTWAIT), -1);
    EXPECT_EQ(errno, EAGAIN);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST_F(SSLTransportTest, FailedConnectionsHaveNoSession)
{
    DeadPort dead;
    // A plain server that hangs up on the client's greeting.
    LoopbackServer plain([](int& fd) {
        char buf[16];
        ::recv(fd, buf, sizeof buf, 0);
        looptest::SendAll(fd, "not tls at all\n", 15);
    });
    struct Case {
        const char* name;
        uint16_t port;
    } cases[] = {{"nothing listens", dead.Port()}, {"no TLS server", plain.Port()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SSLTransport t("127.0.0.1", c.port);
        EXPECT_EQ(t.GetState(), NetTransport::kStateConnectFailed);
        EXPECT_EQ(t.GetSSL(), nullptr);
        EXPECT_EQ(t.GetSocket(), kInvalidSocket);
        char buf[4];
        EXPECT_EQ(t.Read(buf, 4), -1);
        EXPECT_EQ(t.Peek(buf, 4), -1);
        EXPECT_EQ(t.Write(buf, 4), -1);
        EXPECT_EQ(t.OpenSibling(c.port), nullptr);
    }
}

}  // namespace
