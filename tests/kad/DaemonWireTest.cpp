#include "kad/client/DaemonWire.h"

#include <gtest/gtest.h>

#include <string>

#include "core/streams/TStream.h"

namespace {

std::string Bytes(Nyx::DynamicBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.DataLength());
}

// A stream holding exactly these bytes, positioned at the start.
struct Input {
    explicit Input(const std::string& bytes) : stream(&buffer)
    {
        stream.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
        stream.Rewind();
    }
    Nyx::DynamicBuffer buffer;
    TBuffer stream;
};

std::string U32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

TEST(DaemonWire, TagsTravelAsReversedLetters)
{
    Nyx::DynamicBuffer buffer;
    TBuffer out(&buffer);
    DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagReply, 1, 0});
    DaemonWire::WriteFrameHeader(out, {DaemonWire::kTagNote, 2, 0});
    DaemonWire::WriteDaemonHello(out, {7, 8});
    std::string bytes = Bytes(buffer);
    EXPECT_EQ(bytes.substr(0, 4), "lper");
    EXPECT_EQ(bytes.substr(12, 4), "eton");
    EXPECT_EQ(bytes.substr(24, 4), "DDAT");
}

TEST(DaemonWire, TheClientHandshakeIsLaidOutFieldByField)
{
    Nyx::DynamicBuffer buffer;
    TBuffer out(&buffer);
    DaemonWire::WriteClientHello(out, 1, "/srv/kestro");
    EXPECT_EQ(Bytes(buffer), "CDAT" + U32(320) + U32(41615) + U32(1) + U32(11) + "/srv/kestro");

    Input in(Bytes(buffer));
    DaemonWire::ClientHello hello;
    ASSERT_TRUE(DaemonWire::ReadClientHello(in.stream, hello));
    EXPECT_EQ(hello.version, 320u);
    EXPECT_EQ(hello.build, 41615u);
    EXPECT_EQ(hello.clientFlag, 1u);
    EXPECT_EQ(hello.pathLength, 11u);
}

TEST(DaemonWire, ReadersRefuseWrongTagsShortBytesAndOversizedLengths)
{
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
    };
    const Case clientHellos[] = {
        {"longest path", "CDAT" + U32(320) + U32(41615) + U32(0) + U32(DaemonWire::kMaxHandshakePath), true},
        {"path too long", "CDAT" + U32(320) + U32(41615) + U32(0) + U32(DaemonWire::kMaxHandshakePath + 1), false},
        {"wrong tag", "DDAT" + U32(320) + U32(41615) + U32(0) + U32(0), false},
        {"short", "CDAT" + U32(320) + U32(41615), false},
    };
    for (const Case& c : clientHellos) {
        Input in(c.bytes);
        DaemonWire::ClientHello hello;
        EXPECT_EQ(DaemonWire::ReadClientHello(in.stream, hello), c.ok) << c.what;
    }

    const Case frames[] = {
        {"empty payload", U32(21) + U32(5) + U32(0), true},
        {"largest payload", U32(21) + U32(5) + U32(DaemonWire::kMaxPayloadLength), true},
        {"payload too long", U32(21) + U32(5) + U32(DaemonWire::kMaxPayloadLength + 1), false},
        {"all ones", U32(21) + U32(5) + U32(0xFFFFFFFFu), false},
        {"short", U32(21) + U32(5), false},
    };
    for (const Case& c : frames) {
        Input in(c.bytes);
        DaemonWire::FrameHeader header;
        EXPECT_EQ(DaemonWire::ReadFrameHeader(in.stream, header), c.ok) << c.what;
    }

    const Case daemonHellos[] = {
        {"answer", "DDAT" + U32(1) + U32(2), true},
        {"wrong tag", "CDAT" + U32(1) + U32(2), false},
        {"short", "DDAT" + U32(1), false},
    };
    for (const Case& c : daemonHellos) {
        Input in(c.bytes);
        DaemonWire::DaemonHello hello;
        EXPECT_EQ(DaemonWire::ReadDaemonHello(in.stream, hello), c.ok) << c.what;
    }
}

}  // namespace
