#include "kad/transport/NetStartup.h"

#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include <csignal>
#include <memory>

#include "kad/transport/HostResolver.h"
#include "nyx/base/CriticalSection.h"
#include "nyx/base/Thread.h"

namespace {

struct WSAData {
    uint16_t version;
};

// POSIX sockets need no start-up or clean-up; these keep the call shape
// (0 = success) of the socket layers that do.
int WSAStartup(uint16_t version, WSAData* data)
{
    if (data)
        data->version = version;
    return 0;
}

int WSACleanup() { return 0; }

bool g_started = false;
Nyx::CriticalSection g_startLock;
SSL_CTX* g_context = nullptr;
int g_lockCount = 0;
std::unique_ptr<Nyx::CriticalSection[]> g_locks;
std::unique_ptr<uint8_t[]> g_lockHeld;

}  // namespace

// The TLS library asks for the calling thread's id through this.
unsigned long NetThreadIdCallback() { return static_cast<unsigned long>(Nyx::Thread::CurrentId()); }

void NetLockingCallback(int mode, int n, const char* /*file*/, int /*line*/)
{
    if (n < 0 || n >= g_lockCount)
        return;
    if (mode & CRYPTO_LOCK) {
        g_locks[n].Enter();
        g_lockHeld[n] = 1;
    } else if ((mode & CRYPTO_UNLOCK) && g_lockHeld[n]) {
        g_lockHeld[n] = 0;
        g_locks[n].Leave();
    }
}

int NetLockCount() { return g_lockCount; }

ssl_ctx_st* NetSSLContext() { return g_context; }

void NetStartup()
{
    Nyx::SingleLock guard(g_startLock);
    if (g_started)
        return;
    g_started = true;

    WSAData data{};
    WSAStartup(0x0202, &data);
    // A peer that has gone must show up as a failed write, as it does on
    // socket layers without the signal. The TLS library writes without
    // MSG_NOSIGNAL, so the signal is ignored for the whole process.
    std::signal(SIGPIPE, SIG_IGN);

    OPENSSL_init_ssl(0, nullptr);
    // The library of this generation locks itself: it asks for one lock and
    // never calls the hooks, but the table is kept for the same shape.
    g_lockCount = CRYPTO_num_locks();
    g_locks = std::make_unique<Nyx::CriticalSection[]>(static_cast<size_t>(g_lockCount));
    g_lockHeld = std::make_unique<uint8_t[]>(static_cast<size_t>(g_lockCount));
    CRYPTO_set_locking_callback(NetLockingCallback);
    CRYPTO_set_id_callback(NetThreadIdCallback);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    g_context = SSL_CTX_new(TLS_method());

    HostResolver::Process().AddUser();
}

void NetShutdown()
{
    Nyx::SingleLock guard(g_startLock);
    HostResolver::Process().RemoveUser();

    SSL_CTX_free(g_context);
    g_context = nullptr;
    CRYPTO_set_locking_callback(nullptr);
    CRYPTO_set_id_callback(nullptr);
    g_locks.reset();
    g_lockHeld.reset();
    g_lockCount = 0;

    WSACleanup();
}
