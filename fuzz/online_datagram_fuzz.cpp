// Datagrams into the online endpoint's handler, every packet kind: the
// input is a run of datagrams, each a u16 length and its bytes. The link is
// attached to a peer without a socket, so answers go nowhere; a group takes
// the group packets. Whatever arrives, the link's buffers stay in bounds.
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "online/OnlineAccessClientEndpoint.h"

namespace {

class SinkGroup : public OnlineAccessClientEndpoint::OnlineGroup {
public:
    bool IsIdle() override { return true; }
    void SetStatus2(const Nyx::PString&, TStream& packet) override { ReadUsers(packet); }
    void UpdateUsers(TStream& packet) override { ReadUsers(packet); }
    void SetStatus3() override {}
    void CloseIfClient(OnlineAccessClientBase*) override {}
    bool MatchesId(const Nyx::PString&) override { return true; }
    void QueueMessage(std::unique_ptr<OnlineGroupMessage>) override {}

private:
    static void ReadUsers(TStream& packet)
    {
        uint16_t count = 0;
        packet.ReadUInt16(count, 0);
        for (uint16_t i = 0; i < count && packet.GetError() == 0; ++i) {
            Nyx::String name;
            uint8_t status = 0;
            packet.ReadString(name);
            packet.ReadUInt8(status, 0);
        }
    }
};

class SinkClient : public OnlineAccessClientBase {
public:
    SinkClient() { asset = KUID(1, 2, 0); }
    void QueueMessage(std::unique_ptr<OnlineMessage>) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMEPeer peer;
    SinkGroup group;
    SinkClient client;
    OnlineAccessClientEndpoint endpoint;
    endpoint.AddGroup(&group);
    endpoint.AddClient(&client);
    endpoint.Attach(&peer);
    size_t at = 0;
    while (at + 2 <= size) {
        size_t length = size_t(data[at]) | size_t(data[at + 1]) << 8;
        at += 2;
        if (length > size - at)
            length = size - at;
        endpoint.ReceiveDatagram(data + at, static_cast<uint32_t>(length));
        at += length;
        FuzzCheck(endpoint.OutOfOrderCount() <= TMEEndpoint::kDefaultMaxOutOfOrder);
        FuzzCheck(endpoint.InFlightCount() <= TMEEndpoint::kMaxInFlight);
    }
    endpoint.RemoveClient(&client);
    endpoint.RemoveGroup(&group);
    return 0;
}
