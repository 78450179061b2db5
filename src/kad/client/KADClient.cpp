#include "kad/client/KADClient.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

#include <sys/socket.h>
#include <sys/time.h>

#include "core/files/ContentRoot.h"
#include "core/streams/LittleEndian.h"
#include "core/streams/TStream.h"
#include "kad/discovery/DaemonLink.h"
#include "kad/client/DaemonWire.h"
#include "kad/client/KADClientLink.h"
#include "kad/client/KADClientTransaction.h"
#include "kad/discovery/ProcessLaunch.h"
#include "kad/client/SpecRegistryHook.h"
#include "nyx/base/CriticalSection.h"

// A request frame waiting for the link lock's holder to send it. Lives in
// its requester's CallDaemon, which does not return before SendEnded.
struct KADQueuedRequest {
    const uint8_t* bytes;
    uint32_t length;
    KADClientTransaction* transaction;
    KADQueuedRequest* next = nullptr;
};

namespace {

constexpr const char* kLoopbackHost = "127.0.0.1";
constexpr const char* kDaemonFolder = "bin";
constexpr const char* kDaemonFile = "kaddaemon";
// A daemon that accepts the connection but never answers the handshake
// must not hold the tool up for good.
constexpr int kHandshakeTimeoutMs = 5000;

struct ClientState {
    std::mutex lifecycleLock;  // Start and Stop
    std::mutex settingsLock;
    KADClientSettings settings;
    std::atomic<bool> started{false};
    std::atomic<bool> connected{false};

    // The link lock: held for discovery and the handshake and for the whole
    // send of a request (its attempts included).
    Nyx::CriticalSection linkLock;
    // Under linkLock.
    std::shared_ptr<KADClientLink> link;
    // Requests whose requesters found the link lock taken: whoever holds it
    // sends them, all in one write, before letting it go (LinkGuard).
    std::mutex sendQueueLock;
    KADQueuedRequest* queueHead = nullptr;  // under sendQueueLock, in order
    KADQueuedRequest** queueTail = &queueHead;
    std::atomic<uint32_t> queued{0};
    uint64_t nextSerial = 1;              // under linkLock

    std::unique_ptr<SpecRegistryHook> registry;  // under lifecycleLock
    std::atomic<SpecRegistryHook*> registryView{nullptr};
};

// How deep the calling thread holds the link lock (it is recursive).
thread_local int t_linkDepth = 0;

// Never destroyed: requests on other threads may outlive static objects.
ClientState& State()
{
    static ClientState* state = new ClientState;
    return *state;
}

void SetReceiveTimeout(int socket, int ms)
{
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

// Attempts of Start and of a request: the first at once; before the second
// the daemon is launched (when the caller may); a pause before every one
// after the first. False when the attempts are used up or the launch is
// not allowed.
bool BeforeAttempt(int attempt, bool mayLaunch)
{
    if (attempt >= KADClient::kConnectAttempts)
        return false;
    if (attempt == 1) {
        if (!mayLaunch)
            return false;
        KADClient::LaunchDaemon();
    }
    if (attempt >= 1)
        Nyx::Thread::Sleep(KADClient::kAttemptPauseMs);
    return true;
}

}  // namespace

// How deep the calling thread holds the link lock (it is recursive).

// Holds the link lock. Letting go of it for good, its holder first sends
// the requests queued meanwhile, and looks once more after letting go, for
// a request queued by a thread that found the lock still taken.
class KADClient::LinkGuard {
public:
    LinkGuard()
    {
        State().linkLock.Enter();
        ++t_linkDepth;
    }
    // Takes the lock only when it is free.
    explicit LinkGuard(std::try_to_lock_t) : held_(State().linkLock.TryEnter())
    {
        if (held_)
            ++t_linkDepth;
    }
    ~LinkGuard()
    {
        if (!held_)
            return;
        ClientState& s = State();
        if (t_linkDepth > 1) {
            --t_linkDepth;
            s.linkLock.Leave();
            return;
        }
        for (;;) {
            KADClient::SendQueuedLocked();
            --t_linkDepth;
            s.linkLock.Leave();
            // Pairs with the requester's count-then-try: one of the two
            // sees the other. (A read-modify-write reads the latest count.)
            if (s.queued.fetch_add(0, std::memory_order_seq_cst) == 0 || !s.linkLock.TryEnter())
                return;
            ++t_linkDepth;
        }
    }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

    bool Held() const noexcept { return held_; }

private:
    bool held_ = true;
};

bool KADClient::Start(const KADClientSettings& settings)
{
    ClientState& s = State();
    std::lock_guard<std::mutex> lifecycle(s.lifecycleLock);
    if (s.started.load(std::memory_order_acquire))
        return true;
    {
        std::lock_guard<std::mutex> hold(s.settingsLock);
        s.settings = settings;
        s.settings.path.RemoveTrailingSeparator();
        // The folder as the file system has it, never case-folded: folders
        // whose names differ only in case are different data roots, and
        // the daemon launched must be the one of this root.
        std::string resolved = DaemonLink::ResolveFolder(s.settings.path.View());
        if (!resolved.empty())
            s.settings.path = Nyx::File::Path(resolved);
    }

    bool connected = false;
    for (int attempt = 0; !connected && BeforeAttempt(attempt, true); ++attempt)
        connected = Connect();
    if (!connected) {
        std::lock_guard<std::mutex> hold(s.settingsLock);
        s.settings = KADClientSettings();
        return false;
    }

    Nyx::File::Path root = settings.path;
    root.RemoveTrailingSeparator();
    SetContentRootPath(root);

    s.started.store(true, std::memory_order_release);
    s.registry = SpecRegistryHook::Create();
    s.registryView.store(s.registry.get(), std::memory_order_release);
    return true;
}

void KADClient::Stop()
{
    ClientState& s = State();
    std::lock_guard<std::mutex> lifecycle(s.lifecycleLock);
    {
        // Under the link lock, so that no request that saw the client
        // started connects again after the disconnect.
        LinkGuard hold;
        if (!s.started.exchange(false, std::memory_order_acq_rel))
            return;
        Disconnect(false);
    }
    {
        std::lock_guard<std::mutex> hold(s.settingsLock);
        s.settings = KADClientSettings();
    }
    DiscardNotifications();
    JoinQuestionThreads();
    s.registryView.store(nullptr, std::memory_order_release);
    s.registry.reset();
}

bool KADClient::IsStarted() { return State().started.load(std::memory_order_acquire); }

KADClientSettings KADClient::GetSettings()
{
    ClientState& s = State();
    std::lock_guard<std::mutex> hold(s.settingsLock);
    return s.settings;
}

bool KADClient::IsConnected() { return State().connected.load(std::memory_order_acquire); }

uint64_t KADClient::GetLinkSerial()
{
    ClientState& s = State();
    LinkGuard hold;
    return s.link && !s.link->IsDead() ? s.link->Serial() : 0;
}

SpecRegistryHook* KADClient::GetSpecRegistry() { return State().registryView.load(std::memory_order_acquire); }

bool KADClient::MayLaunchDaemon() { return GetSettings().flags[KADClientSettings::kFlagMayLaunchDaemon] != 0; }

Nyx::File::Path KADClient::GetDaemonPath()
{
    Nyx::File::Path path = GetSettings().path;
    path.AddPath(kDaemonFolder);
    path.AddPath(kDaemonFile);
    return path;
}

bool KADClient::LaunchDaemon()
{
    Nyx::File::Path folder = GetSettings().path;
    folder.AddPath(kDaemonFolder);
    return LaunchProcess(GetDaemonPath().Str(), "", folder.Str(), kLaunchHidden) != 0;
}

bool KADClient::Connect()
{
    ClientState& s = State();
    LinkGuard hold;
    if (s.link) {
        if (!s.link->IsDead())
            return true;
        // The receiver found the link dead: nothing was sent on it since,
        // so a fresh connection is safe and saves the request a failure.
        Disconnect(true);
    }

    const KADClientSettings settings = GetSettings();
    Nyx::File::Path dataFile = settings.path;
    dataFile.AddPath(DaemonLink::kDataFileName);
    uint32_t port = 0;
    {
        DaemonLink discovery;
        if (!discovery.Attach(dataFile.Str()))
            return false;
        // 0 when this process turned out to be the holder: no daemon.
        port = discovery.GetPort() & 0xFFFFu;
        discovery.Detach();
    }
    if (port == 0)
        return false;

    auto transport = std::make_unique<TCPTransport>(kLoopbackHost, static_cast<uint16_t>(port));
    if (transport->GetState() != NetTransport::kStateOK)
        return false;
    const int socket = transport->GetSocket();
    SetReceiveTimeout(socket, kHandshakeTimeoutMs);
    s.link = std::make_shared<KADClientLink>(std::move(transport), s.nextSerial++);

    Nyx::DynamicBuffer hello;
    {
        TBuffer out(&hello);
        DaemonWire::WriteClientHello(out, settings.flags[KADClientSettings::kFlagClient], settings.path.View());
    }
    // Each failing step below has closed the link as broken already.
    if (!SendLink(hello.Data(), hello.DataLength()))
        return false;
    uint8_t answer[DaemonWire::kDaemonHelloSize];
    if (!ReceiveLink(answer, 4, true))
        return false;
    if (LoadLE32(answer) != DaemonWire::kTagDaemonHello) {
        Disconnect(true);
        return false;
    }
    if (!ReceiveLink(answer + 4, 8, true))
        return false;
    s.link->hello = DaemonWire::DaemonHello{LoadLE32(answer + 4), LoadLE32(answer + 8)};
    SetReceiveTimeout(socket, 0);

    s.connected.store(true, std::memory_order_release);
    if (!s.link->StartReceiver()) {
        Disconnect(true);
        return false;
    }
    return true;
}

void KADClient::Disconnect(bool broken)
{
    // The receiver ends by itself; it never waits for itself.
    if (KADClientLink::OnReceiverThread())
        return;
    ClientState& s = State();
    LinkGuard hold;
    std::shared_ptr<KADClientLink> link = std::move(s.link);
    if (link) {
        if (!broken && !link->IsDead()) {
            uint8_t word[4];
            StoreLE32(word, DaemonWire::kRequestDisconnect);
            TransportWriteExact(link->Transport(), word, sizeof word);
        }
        link->Close();
    }
    s.connected.store(false, std::memory_order_release);
}

void KADClient::LinkEnded() { State().connected.store(false, std::memory_order_release); }

bool KADClient::SendLink(const void* bytes, uint32_t length)
{
    ClientState& s = State();
    LinkGuard hold;
    if (!s.link)
        return false;
    if (TransportWriteExact(s.link->Transport(), bytes, length))
        return true;
    Disconnect(true);
    return false;
}

bool KADClient::ReceiveLink(void* bytes, uint32_t length, bool closeOnFailure)
{
    ClientState& s = State();
    LinkGuard hold;
    if (!s.link)
        return false;
    if (TransportReadExact(s.link->Transport(), bytes, length))
        return true;
    if (closeOnFailure)
        Disconnect(true);
    return false;
}

bool KADClient::CallDaemon(uint32_t number, TStream& payload, TStream& reply, KADClientCallback* callback,
                           ResultsLog* log, bool keepLog)
{
    // The receiver carries every reply; it cannot wait for one itself.
    if (KADClientLink::OnReceiverThread())
        return false;
    ClientState& s = State();
    const uint32_t size = payload.GetSize();
    const uint32_t position = payload.Tell();
    const uint32_t length = size > position ? size - position : 0;
    // The daemon cuts off a longer frame; better that nothing goes out.
    if (length > DaemonWire::kMaxPayloadLength)
        return false;

    KADClientTransaction transaction(callback, log, keepLog, &reply);
    transaction.Register();
    // Number, id and length travel in one piece, and so does the payload
    // when it fits; a larger payload follows in pieces.
    constexpr uint32_t kHeader = DaemonWire::kFrameHeaderSize;
    const bool inOne = length <= kTransportPieceSize - kHeader;
    const uint32_t frameLength = kHeader + (inOne ? length : 0);
    std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[frameLength]);
    if (!frame)
        return false;
    StoreLE32(frame.get(), number);
    StoreLE32(frame.get() + 4, transaction.GetId());
    StoreLE32(frame.get() + 8, length);
    if (inOne && length > 0 && payload.ReadBytes(frame.get() + kHeader, length) != length)
        return false;
    if (!s.started.load(std::memory_order_acquire))
        return false;

    if (!inOne) {
        if (!SendLargeRequest(frame.get(), payload, length, transaction))
            return false;
        // The receiver has appended the payload to `reply` by the time the
        // wait ends well.
        return transaction.Wait();
    }

    // The frame goes into the send queue and, when the link lock is free,
    // out at once with whatever else is queued; otherwise the lock's holder
    // sends it before it lets go. Either way its requester only waits once,
    // for the reply, and its frame outlives the wait.
    KADQueuedRequest request{frame.get(), frameLength, &transaction};
    bool queue = false;
    {
        LinkGuard hold(std::try_to_lock);
        if (hold.Held())
            SendBatch(&request);
        else
            queue = true;
    }
    if (queue) {
        transaction.SendQueued();
        {
            std::lock_guard<std::mutex> hold(s.sendQueueLock);
            *s.queueTail = &request;
            s.queueTail = &request.next;
        }
        s.queued.fetch_add(1, std::memory_order_seq_cst);
        SendQueuedRequests();
    }
    return transaction.Wait();
}

uint32_t KADClient::QueuedRequestCount()
{
    ClientState& s = State();
    std::lock_guard<std::mutex> hold(s.sendQueueLock);
    uint32_t count = 0;
    for (KADQueuedRequest* r = s.queueHead; r; r = r->next)
        ++count;
    return count;
}

void KADClient::SendQueuedRequests()
{
    // Taken and let go again: the guard sends what is queued on its way out.
    LinkGuard hold(std::try_to_lock);
}

void KADClient::SendQueuedLocked()
{
    ClientState& s = State();
    while (s.queued.load(std::memory_order_seq_cst) != 0) {
        KADQueuedRequest* batch;
        uint32_t count = 0;
        {
            std::lock_guard<std::mutex> hold(s.sendQueueLock);
            batch = s.queueHead;
            s.queueHead = nullptr;
            s.queueTail = &s.queueHead;
            for (KADQueuedRequest* r = batch; r; r = r->next)
                ++count;
        }
        s.queued.fetch_sub(count, std::memory_order_seq_cst);
        if (batch)
            SendBatch(batch);
    }
}

void KADClient::SendBatch(KADQueuedRequest* batch)
{
    ClientState& s = State();
    // What is left to send, in order; a request leaves the list once it is
    // out (or failed for good), and then belongs to its requester again.
    KADQueuedRequest* left = batch;
    auto end = [&left](bool sent) {
        KADQueuedRequest* request = left;
        left = left->next;
        request->transaction->SendEnded(sent);
    };
    const bool started = s.started.load(std::memory_order_acquire);
    const bool mayLaunch = started && MayLaunchDaemon();
    for (int attempt = 0; started && left && BeforeAttempt(attempt, mayLaunch); ++attempt) {
        if (!Connect() || !s.link)
            continue;
        const uint64_t serial = s.link->Serial();
        constexpr uint32_t kMaxParts = 256;
        iovec parts[kMaxParts];
        while (left) {
            uint32_t n = 0;
            for (KADQueuedRequest* r = left; r && n < kMaxParts; r = r->next) {
                r->transaction->Arm(serial);
                parts[n].iov_base = const_cast<uint8_t*>(r->bytes);
                parts[n].iov_len = r->length;
                ++n;
            }
            uint64_t written = 0;
            const bool whole = TransportWriteGather(s.link->Transport(), parts, n, written);
            // Requests out whole are done with; of one cut short, the number
            // and the id may have reached the daemon, and then it must not
            // go out again: it fails. Before that, it may try the next link.
            for (uint32_t i = 0; i < n && written >= parts[i].iov_len; ++i) {
                written -= parts[i].iov_len;
                end(true);
            }
            if (whole)
                continue;
            if (written >= 8)
                end(false);
            Disconnect(true);
            break;
        }
    }
    while (left)
        end(false);
}

bool KADClient::SendLargeRequest(const uint8_t* header, TStream& payload, uint32_t length,
                                 KADClientTransaction& transaction)
{
    ClientState& s = State();
    LinkGuard hold;
    if (!s.started.load(std::memory_order_acquire))
        return false;
    // The header is what may be sent again on a new connection: up to the
    // end of it, nothing of the request has reached the daemon.
    const bool mayLaunch = MayLaunchDaemon();
    bool sent = false;
    for (int attempt = 0; !sent && BeforeAttempt(attempt, mayLaunch); ++attempt) {
        if (!Connect() || !s.link)
            continue;
        transaction.Arm(s.link->Serial());
        sent = SendLink(header, DaemonWire::kFrameHeaderSize);
    }
    if (!sent)
        return false;

    // The payload. A failure from here on is final: part of the request is
    // on its way, so the link cannot be used again.
    uint8_t piece[kTransportPieceSize];
    for (uint32_t left = length; left > 0;) {
        uint32_t n = std::min(left, kTransportPieceSize);
        if (payload.ReadBytes(piece, n) != n) {
            Disconnect(true);
            return false;
        }
        if (!SendLink(piece, n))
            return false;
        left -= n;
    }
    return true;
}

void KADClient::CloseDaemon()
{
    ClientState& s = State();
    {
        std::lock_guard<std::mutex> hold(s.settingsLock);
        s.settings.flags[KADClientSettings::kFlagMayLaunchDaemon] = 0;
    }
    TBuffer payload;
    TBuffer reply;
    CallDaemon(DaemonWire::kRequestCloseDaemon, payload, reply);
    for (uint32_t waited = 0; IsConnected() && waited < kCloseWaitMs; waited += kCloseWaitStepMs)
        Nyx::Thread::Sleep(kCloseWaitStepMs);
}
