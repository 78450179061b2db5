#include "online/MessageStore.h"

#include <string>
#include <utility>

#include "core/streams/TStream.h"
#include "online/OnlineAccessClientEndpoint.h"
#include "platform/FileSave.h"

namespace {

constexpr uint32_t kStoreVersion = 1;

}  // namespace

void WriteStoredMessages(TStream& stream, const StoredMessageList& messages)
{
    stream.WriteInt32(kStoreVersion);
    stream.WriteInt32(static_cast<uint32_t>(messages.size()));
    for (const auto& message : messages) {
        if (auto* versioned = dynamic_cast<const VersionedOnlineMessage*>(message.get()))
            versioned->Write(stream);
        else
            VersionedOnlineMessage(*message).Write(stream);
    }
}

void ReadStoredMessages(TStream& stream, StoredMessageList& messages)
{
    const uint32_t errorBefore = stream.GetError();
    uint32_t version = 0;
    stream.ReadInt32(version, 0);
    if (stream.GetError() != errorBefore) {
        stream.SetError(TStream::kErrShortRecord);
        return;
    }
    if (version != kStoreVersion)
        return;
    uint32_t count = 0;
    stream.ReadInt32(count, 0);
    messages.clear();
    for (uint32_t i = 0; i < count && stream.GetError() == errorBefore; ++i) {
        auto message = std::make_unique<VersionedOnlineMessage>();
        message->Read(stream);
        if (stream.GetError() != errorBefore)
            break;
        messages.push_back(std::move(message));
    }
}

namespace MessageStore {

bool Save(const OnlineAccessClientEndpoint& endpoint)
{
    const Nyx::File::Path targetPath(Nyx::File::Resolve(Nyx::PString(kFolder), Nyx::File::Path(kFileName)));
    // Something that is no file in the store's place would keep it from
    // ever being written.
    if (Nyx::File::IsFolder(targetPath))
        Nyx::File::Prune(targetPath);

    Platform::FileSaveOptions options;
    options.syncBeforeReplace = false;
    Platform::FileSave save(targetPath.Str(), std::move(options));
    if (!save.IsOpen())
        return false;
    bool written = false;
    {
        TFile file;
        file.EnsureFile();
        if (!file.GetFile()->OpenDuplicate(save.Descriptor(), targetPath, Nyx::File::kModeWrite))
            return false;
        endpoint.WriteStoredMessages(file);
        written = file.Flush() && file.GetError() == 0;
    }
    return written && save.Commit();
}

bool Load(OnlineAccessClientEndpoint& endpoint)
{
    TFile file;
    file.OpenIn(Nyx::PString(kFolder), Nyx::File::Path(kFileName), Nyx::File::kModeRead);
    if (!file.IsOpen())
        return false;
    // A file stream reports its read-ahead running into the end as an
    // error: the records are read from memory, where an error means a
    // record was cut short.
    TBuffer bytes;
    uint8_t chunk[8192];
    while (uint32_t got = file.ReadBytes(chunk, sizeof chunk))
        bytes.WriteBytes(chunk, got);
    bytes.Rewind();
    endpoint.ReadStoredMessages(bytes);
    return true;
}

}  // namespace MessageStore
