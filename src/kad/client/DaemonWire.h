// Frames of the daemon connection, written and read the same way by the
// tool and by the stand-in daemon.
//
// Everything on the wire is a u32, little-endian; the multi-character tags
// are u32 values too, so their letters travel reversed. Readers work on a
// stream that holds the bytes of one fixed-size part of a frame; they check
// every length against its limit before anyone allocates for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TStream;

namespace DaemonWire {

constexpr uint32_t kTagClientHello = 0x54414443u;  // "CDAT"
constexpr uint32_t kTagDaemonHello = 0x54414444u;  // "DDAT"
constexpr uint32_t kTagReply = 0x7265706Cu;        // 'repl'
constexpr uint32_t kTagNote = 0x6E6F7465u;         // 'note'

constexpr uint32_t kClientVersion = 320;
constexpr uint32_t kClientBuild = 41615;

// Request numbers with a meaning to the connection itself.
constexpr uint32_t kRequestDisconnect = 1;  // travels alone: no id, length or payload
constexpr uint32_t kRequestCloseDaemon = 270;

// No frame's payload may be longer; a peer that announces more is cut off.
constexpr uint32_t kMaxPayloadLength = 256u << 20;
// Longest data path a client may announce in its handshake.
constexpr uint32_t kMaxHandshakePath = 4096;

// The client's handshake up to (not including) the path bytes: tag,
// version, build, client flag, path length.
constexpr uint32_t kClientHelloFixedSize = 20;
// The daemon's answer: tag and two words.
constexpr uint32_t kDaemonHelloSize = 12;
// A frame header: a leading word (request number, or tag), a second word
// (transaction id, or notification kind) and the payload length.
constexpr uint32_t kFrameHeaderSize = 12;

struct ClientHello {
    uint32_t version = 0;
    uint32_t build = 0;
    uint32_t clientFlag = 0;
    uint32_t pathLength = 0;
};

struct DaemonHello {
    uint32_t first = 0;
    uint32_t second = 0;
};

struct FrameHeader {
    uint32_t word = 0;    // request number, kTagReply or kTagNote
    uint32_t second = 0;  // transaction id, or notification kind
    uint32_t length = 0;  // payload bytes that follow
};

// The whole client handshake, path included.
void WriteClientHello(TStream& out, uint32_t clientFlag, std::string_view path);
// False unless the bytes start with "CDAT" and announce a path within its
// limit.
bool ReadClientHello(TStream& in, ClientHello& hello);

void WriteDaemonHello(TStream& out, const DaemonHello& hello);
// False unless the bytes start with "DDAT".
bool ReadDaemonHello(TStream& in, DaemonHello& hello);

// A request frame (number, transaction id, length) or the header of a reply
// ('repl', id, length) or notification ('note', kind, length) frame; the
// payload follows separately.
void WriteFrameHeader(TStream& out, const FrameHeader& header);
// False when the bytes are short or the length is over kMaxPayloadLength.
bool ReadFrameHeader(TStream& in, FrameHeader& header);

}  // namespace DaemonWire
