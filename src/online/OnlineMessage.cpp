#include "online/OnlineMessage.h"

#include "config/formats/BinaryConfig.h"
#include "core/streams/TStream.h"

void WriteMessageBody(TStream& stream, const ChunkRef& body) { WriteBinaryConfig(stream, body); }

ChunkRef ReadMessageBody(TStream& stream)
{
    ChunkRef body;
    if (!ReadBinaryConfig(stream, body))
        return ChunkRef();
    return body;
}

void OnlineMessage::Write(TStream& stream) const
{
    WriteKUID(stream, asset);
    stream.WriteString(userName);
    WriteMessageBody(stream, body);
}

void OnlineMessage::Read(TStream& stream)
{
    ReadKUID(stream, asset);
    stream.ReadString(userName);
    body = ReadMessageBody(stream);
}

VersionedOnlineMessage::VersionedOnlineMessage(const OnlineMessage& plain) : OnlineMessage(plain) {}

void VersionedOnlineMessage::Write(TStream& stream) const
{
    OnlineMessage::Write(stream);
    stream.WriteInt32(format);
    stream.WriteBool(senderModified);
}

void VersionedOnlineMessage::Read(TStream& stream)
{
    OnlineMessage::Read(stream);
    stream.ReadInt32(format, 0);
    stream.ReadBool(senderModified, false);
}

void OnlineGroupMessage::Write(TStream& stream) const
{
    WriteKUID(stream, sender);
    stream.WriteString(userName);
    stream.WritePString(groupId);
    WriteMessageBody(stream, body);
}

void OnlineGroupMessage::Read(TStream& stream)
{
    ReadKUID(stream, sender);
    stream.ReadString(userName);
    stream.ReadPString(groupId);
    body = ReadMessageBody(stream);
}
