#include "kad/client/DaemonWire.h"

#include "core/streams/TStream.h"

namespace DaemonWire {

void WriteClientHello(TStream& out, uint32_t clientFlag, std::string_view path)
{
    out.WriteInt32(kTagClientHello);
    out.WriteInt32(kClientVersion);
    out.WriteInt32(kClientBuild);
    out.WriteInt32(clientFlag);
    out.WriteInt32(static_cast<uint32_t>(path.size()));
    out.WriteBytes(path.data(), static_cast<uint32_t>(path.size()));
}

bool ReadClientHello(TStream& in, ClientHello& hello)
{
    uint32_t tag = 0;
    in.ReadInt32(tag, 0u);
    in.ReadInt32(hello.version, 0u);
    in.ReadInt32(hello.build, 0u);
    in.ReadInt32(hello.clientFlag, 0u);
    in.ReadInt32(hello.pathLength, 0u);
    return in.GetError() == 0 && tag == kTagClientHello && hello.pathLength <= kMaxHandshakePath;
}

void WriteDaemonHello(TStream& out, const DaemonHello& hello)
{
    out.WriteInt32(kTagDaemonHello);
    out.WriteInt32(hello.first);
    out.WriteInt32(hello.second);
}

bool ReadDaemonHello(TStream& in, DaemonHello& hello)
{
    uint32_t tag = 0;
    in.ReadInt32(tag, 0u);
    in.ReadInt32(hello.first, 0u);
    in.ReadInt32(hello.second, 0u);
    return in.GetError() == 0 && tag == kTagDaemonHello;
}

void WriteFrameHeader(TStream& out, const FrameHeader& header)
{
    out.WriteInt32(header.word);
    out.WriteInt32(header.second);
    out.WriteInt32(header.length);
}

bool ReadFrameHeader(TStream& in, FrameHeader& header)
{
    in.ReadInt32(header.word, 0u);
    in.ReadInt32(header.second, 0u);
    in.ReadInt32(header.length, 0u);
    return in.GetError() == 0 && header.length <= kMaxPayloadLength;
}

}  // namespace DaemonWire
