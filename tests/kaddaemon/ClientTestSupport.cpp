#include "kaddaemon/ClientTestSupport.h"

#include <algorithm>
#include <filesystem>

namespace clienttest {

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string U32(uint32_t v)
{
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return std::string(b, 4);
}

uint32_t ReadU32(const std::string& s, size_t at)
{
    auto b = [&](size_t i) { return uint32_t(static_cast<unsigned char>(s[at + i])); };
    return s.size() >= at + 4 ? b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24) : 0xFFFFFFFFu;
}

std::string KUIDBytes(const KUID& kuid)
{
    Bytes bytes;
    WriteKUID(bytes.Stream(), kuid);
    return bytes.Text();
}

std::vector<std::string> Texts(const ResultsLog& log)
{
    std::vector<std::string> texts;
    log.Lock();
    for (const ResultsLog::Result* r : log.Results())
        texts.emplace_back(r->text.View());
    log.Unlock();
    return texts;
}

std::string Pattern(uint32_t seed, size_t length)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>((seed * 131 + i * 7 + (i >> 8)) & 0xFF);
    return s;
}

bool Call(uint32_t number, const std::string& payload, std::string* reply,
          KADClientCallback* callback, ResultsLog* log, bool keepLog)
{
    Bytes request(payload);
    Bytes answer;
    bool ok = KADClient::CallDaemon(number, request.Stream(), answer.Stream(), callback, log, keepLog);
    if (reply)
        *reply = answer.Text();
    return ok;
}

std::vector<std::string> TraceLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

size_t CountLines(const std::string& path, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : TraceLines(path))
        n += line.rfind(prefix, 0) == 0;
    return n;
}

uint32_t LastRequestId(const std::string& path, uint32_t number)
{
    uint32_t id = 0;
    const std::string prefix = "in request " + std::to_string(number) + " ";
    for (const std::string& line : TraceLines(path)) {
        if (line.rfind(prefix, 0) == 0)
            id = static_cast<uint32_t>(std::stoul(line.substr(prefix.size())));
    }
    return id;
}

StandInClient::StandInClient() : root_(daemontest::RealPath(temp_.Path())), cleanup_(root_)
{
    NetStartup();
    kaddaemon::RegisterStandInRequests(server_.Requests(), true);
}

StandInClient::~StandInClient()
{
    KADClient::Stop();
    StopServing();
}

void StandInClient::Serve()
{
    ASSERT_TRUE(trace_.Open(TracePath()));
    server_.SetTrace(&trace_);
    ASSERT_EQ(server_.Start(root_), kaddaemon::DaemonServer::StartResult::kServing) << server_.ErrorText();
    // Request 270 ends the stand-in as it ends its program.
    stopper_ = std::thread([this]() {
        server_.Wait();
        server_.Shutdown();
    });
}

void StandInClient::StopServing()
{
    server_.RequestStop();
    if (stopper_.joinable())
        stopper_.join();
    server_.Shutdown();
}

bool StandInClient::StartClient(uint8_t mayLaunch)
{
    KADClientSettings settings;
    settings.path = root_;
    settings.flags[2] = 0;
    settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = mayLaunch;
    return KADClient::Start(settings);
}

void StandInStoreClient::OpenStore()
{
    store_ = std::make_shared<kaddaemon::AssetStore>(root_);
    EXPECT_TRUE(store_->Open());
    kaddaemon::RegisterStoreRequests(server_.Requests(), store_);
}

void StandInStoreClient::SetUp()
{
    Serve();
    ASSERT_TRUE(StartClient());
}

FakeDaemon::FakeDaemon(const std::string& root, Script script) : script_(std::move(script))
{
    NetStartup();
    listen_ = kaddaemon::ListenLoopback(port_);
    EXPECT_GE(listen_, 0);
    EXPECT_TRUE(link_.Attach(root + "/assets.tdx"));
    link_.Publish(port_);
    thread_ = std::thread([this]() { Accept(); });
}

FakeDaemon::~FakeDaemon()
{
    stopping_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (current_ >= 0)
            ::shutdown(current_, SHUT_RDWR);
    }
    thread_.join();
    ::close(listen_);
    link_.Withdraw();
    link_.Detach();
}

bool FakeDaemon::Read(int socket, std::string& out, size_t n)
{
    out.assign(n, '\0');
    size_t have = 0;
    while (have < n) {
        ssize_t got = ::recv(socket, out.data() + have, n - have, 0);
        if (got <= 0)
            return false;
        have += static_cast<size_t>(got);
    }
    return true;
}

bool FakeDaemon::Write(int socket, const std::string& bytes)
{
    return kaddaemon::SendAll(socket, bytes.data(), bytes.size());
}

bool FakeDaemon::ReadHello(int socket, DaemonWire::ClientHello& hello, std::string& path)
{
    std::string fixed;
    if (!Read(socket, fixed, DaemonWire::kClientHelloFixedSize))
        return false;
    Bytes bytes(fixed);
    if (!DaemonWire::ReadClientHello(bytes.Stream(), hello))
        return false;
    return Read(socket, path, hello.pathLength);
}

bool FakeDaemon::ReadRequest(int socket, uint32_t& number, uint32_t& id, std::string& payload)
{
    std::string head;
    if (!Read(socket, head, DaemonWire::kFrameHeaderSize))
        return false;
    number = ReadU32(head);
    id = ReadU32(head, 4);
    return Read(socket, payload, ReadU32(head, 8));
}

std::string FakeDaemon::Reply(uint32_t id, const std::string& payload)
{
    return U32(DaemonWire::kTagReply) + U32(id) + U32(static_cast<uint32_t>(payload.size())) + payload;
}

bool FakeDaemon::WaitClosed(int socket)
{
    char c;
    for (;;) {
        ssize_t got = ::recv(socket, &c, 1, 0);
        if (got == 0)
            return true;
        if (got < 0)
            return false;
    }
}

void FakeDaemon::Accept()
{
    for (int index = 0; !stopping_; ++index) {
        int socket = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            return;
        timeval tv{10, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        {
            std::lock_guard<std::mutex> hold(lock_);
            current_ = socket;
        }
        ++connections_;
        script_(socket, index);
        {
            std::lock_guard<std::mutex> hold(lock_);
            current_ = -1;
        }
        ::close(socket);
    }
}

}  // namespace clienttest
