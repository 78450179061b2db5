// The stand-in daemon's requests: one handler per request number.
//
// A handler reads the request payload from one stream and writes its reply
// payload into the other; whatever it writes goes back as one reply frame.
// A number without a handler is answered with an empty reply. Handlers run
// on the reader thread of the connection the request came in on, so they
// may block that connection but no other.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

class TStream;

namespace kaddaemon {

class DaemonConnection;
class DaemonServer;

struct RequestContext {
    DaemonServer& server;
    DaemonConnection& connection;
    uint32_t number;
    uint32_t transactionId;
    // Set by a handler to end the daemon once its reply has gone out.
    bool stopAfterReply = false;
    // Cleared by a handler that answers later (DaemonConnection::HoldReply)
    // or never; whatever it wrote into the reply is then dropped.
    bool replyNow = true;
    // Set by a handler to end this connection after the frame.
    bool closeConnection = false;
};

using RequestHandler = std::function<void(RequestContext& context, TStream& request, TStream& reply)>;

class RequestTable {
public:
    // Replaces any handler of that number. Register before the daemon
    // starts serving: the table is read without a lock.
    void Register(uint32_t number, RequestHandler handler);
    // Null when the number has no handler.
    const RequestHandler* Find(uint32_t number) const;

private:
    std::unordered_map<uint32_t, RequestHandler> handlers_;
};

// The bytes of the request payload from its position to its end.
std::string RestOfPayload(TStream& request);

}  // namespace kaddaemon
