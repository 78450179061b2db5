#include "online/OnlineMessage.h"

#include "config/formats/BinaryConfig.h"
#include "core/streams/TStream.h"

bool WriteMessageBody(TStream& stream, const ChunkRef& body) { return WriteWholeBinaryConfig(stream, body); }

ChunkRef ReadMessageBody(TStream& stream)
{
    ChunkRef body;
    if (!ReadBinaryConfig(stream, body))
        return ChunkRef();
    return body;
}

bool OnlineMessage::Write(TStream& stream) const
{
    WriteKUID(stream, asset);
    stream.WriteString(userName);
    return WriteMessageBody(stream, body);
}

void OnlineMessage::Read(TStream& stream)
{
    ReadKUID(stream, asset);
    stream.ReadString(userName);
    body = ReadMessageBody(stream);
}

VersionedOnlineMessage::VersionedOnlineMessage(const OnlineMessage& plain) : OnlineMessage(plain) {}

bool VersionedOnlineMessage::Write(TStream& stream) const
{
    const bool whole = OnlineMessage::Write(stream);
    stream.WriteInt32(format);
    stream.WriteBool(senderModified);
    return whole;
}

void VersionedOnlineMessage::Read(TStream& stream)
{
    OnlineMessage::Read(stream);
    stream.ReadInt32(format, 0);
    stream.ReadBool(senderModified, false);
}

bool OnlineGroupMessage::Write(TStream& stream) const
{
    WriteKUID(stream, sender);
    stream.WriteString(userName);
    stream.WritePString(groupId);
    return WriteMessageBody(stream, body);
}

void OnlineGroupMessage::Read(TStream& stream)
{
    ReadKUID(stream, sender);
    stream.ReadString(userName);
    stream.ReadPString(groupId);
    body = ReadMessageBody(stream);
}
