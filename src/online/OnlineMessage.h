// The records online messages travel in: plain and versioned messages
// (delivered to the script object of the asset they name) and group
// messages. Strings go in the engine-string form; a body goes as a whole
// binary config file, and what reads back as no real container is no body.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class TStream;

class OnlineMessage {
public:
    OnlineMessage() = default;
    virtual ~OnlineMessage() = default;

    // Field order: asset, user name, body. A short read leaves the fields
    // at their defaults and the stream's error code set. Write is false when
    // the body could not be written whole (the record must then not go out).
    virtual bool Write(TStream& stream) const;
    virtual void Read(TStream& stream);

    Nyx::String userName;
    ChunkRef body;
    KUID asset = KUID::Null;

protected:
    OnlineMessage(const OnlineMessage&) = default;
    OnlineMessage& operator=(const OnlineMessage&) = default;
};

class VersionedOnlineMessage : public OnlineMessage {
public:
    VersionedOnlineMessage() = default;
    // Shares the body; format 0 and not modified, as a message that never
    // had them.
    explicit VersionedOnlineMessage(const OnlineMessage& plain);

    bool Write(TStream& stream) const override;
    void Read(TStream& stream) override;

    uint32_t format = 0;
    bool senderModified = false;
};

struct OnlineGroupMessage {
    Nyx::PString groupId;
    Nyx::String userName;
    ChunkRef body;
    KUID sender = KUID::Null;

    // Field order: sender, user name, group id, body; as for the messages.
    bool Write(TStream& stream) const;
    void Read(TStream& stream);
};

// A body as it goes into a record, and back: null when the file holds no
// real container. Writing is false when the body did not fit the binary form
// whole (a tag name too long, containers nested too deep).
bool WriteMessageBody(TStream& stream, const ChunkRef& body);
ChunkRef ReadMessageBody(TStream& stream);
