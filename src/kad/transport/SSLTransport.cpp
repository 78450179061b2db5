#include "kad/transport/SSLTransport.h"

#include <openssl/ssl.h>

#include <cerrno>

#include "kad/transport/NetStartup.h"

namespace {

// On a blocking socket the library asks to be called again when a signal
// broke into its socket call; do so, as the plain transport does.
template <class Op>
int RetryInterrupted(SSL* ssl, Op op)
{
    for (;;) {
        errno = 0;
        int result = op();
        if (result > 0)
            return result;
        int error = SSL_get_error(ssl, result);
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || errno != EINTR)
            return result;
    }
}

}  // namespace

SSLTransport::SSLTransport(const char* host, uint16_t port)
{
    SSL_CTX* context = NetSSLContext();
    if (context)
        socket_ = ConnectSocket(host, port);
    if (socket_ != kInvalidSocket) {
        ssl_ = SSL_new(context);
        if (ssl_ && SSL_set_fd(ssl_, socket_) == 1 &&
            RetryInterrupted(ssl_, [this]() { return SSL_connect(ssl_); }) == 1)
            return;
        SSL_free(ssl_);
        ssl_ = nullptr;
        socket_ = CloseSocket(socket_);
    }
    state_ = kStateConnectFailed;
}

SSLTransport::~SSLTransport()
{
    if (ssl_) {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
    }
    socket_ = CloseSocket(socket_);
}

int32_t SSLTransport::Read(void* buffer, int32_t length)
{
    if (!ssl_ || length < 0)
        return -1;
    return RetryInterrupted(ssl_, [&]() { return SSL_read(ssl_, buffer, length); });
}

int32_t SSLTransport::Peek(void* buffer, int32_t length)
{
    if (!ssl_ || length < 0)
        return -1;
    return RetryInterrupted(ssl_, [&]() { return SSL_peek(ssl_, buffer, length); });
}

int32_t SSLTransport::Write(const void* buffer, int32_t length)
{
    if (!ssl_ || length < 0)
        return -1;
    return RetryInterrupted(ssl_, [&]() { return SSL_write(ssl_, buffer, length); });
}

void SSLTransport::Close()
{
    state_ = kStateClosed;
    // The session still names the descriptor; once closed, that number may
    // be handed to some other file, which a later shutdown alert or write
    // would then corrupt.
    if (ssl_ && socket_ != kInvalidSocket)
        SSL_set_fd(ssl_, kInvalidSocket);
    socket_ = CloseSocket(socket_);
}

std::unique_ptr<NetTransport> SSLTransport::OpenSibling(uint16_t /*port*/) { return nullptr; }
