#include "kaddaemon/DaemonProbe.h"

#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/SocketIO.h"

namespace kaddaemon {

bool ProbeDaemon(uint16_t port, uint32_t expectedProcessId, std::string_view root, int timeoutMs)
{
    if (port == 0 || root.size() > DaemonWire::kMaxHandshakePath)
        return false;
    int fd = ConnectLoopback(port, timeoutMs);
    if (fd < 0)
        return false;

    Nyx::DynamicBuffer request;
    {
        TBuffer out(&request);
        DaemonWire::WriteClientHello(out, 0, root);
    }
    bool ok = SendAll(fd, request.Data(), request.DataLength());

    uint8_t answer[DaemonWire::kDaemonHelloSize];
    SocketReader reader(fd);
    ok = ok && reader.ReadExact(answer, sizeof answer);
    if (ok) {
        Nyx::DynamicBuffer bytes;
        TBuffer in(&bytes);
        in.WriteBytes(answer, sizeof answer);
        in.Rewind();
        DaemonWire::DaemonHello hello;
        ok = DaemonWire::ReadDaemonHello(in, hello) && hello.first == expectedProcessId;

        const uint8_t bye[4] = {DaemonWire::kRequestDisconnect, 0, 0, 0};
        SendAll(fd, bye, sizeof bye);
    }
    CloseSocket(fd);
    return ok;
}

}  // namespace kaddaemon
