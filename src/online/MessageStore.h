// The store of undelivered online messages, "oa_messages.dat" in "cache":
// u32 version 1, u32 count, then that many versioned message records.
#pragma once

#include <memory>
#include <vector>

#include "online/OnlineMessage.h"

class OnlineAccessClientEndpoint;
class TStream;

using StoredMessageList = std::vector<std::unique_ptr<OnlineMessage>>;

// Plain messages go out as versioned ones (format 0, not modified).
void WriteStoredMessages(TStream& stream, const StoredMessageList& messages);
// Reads from a stream whose error code tells only of records cut short (a
// memory stream). Another version, or none, leaves the list as it is. Version 1 replaces
// the list with the records that read whole: the first one cut short ends
// the reading and is dropped, whatever the count promised.
void ReadStoredMessages(TStream& stream, StoredMessageList& messages);

namespace MessageStore {

constexpr const char* kFolder = "cache";
constexpr const char* kFileName = "oa_messages.dat";

// The file is replaced only once the new one is written whole; false (the
// old file kept) when it could not be.
bool Save(const OnlineAccessClientEndpoint& endpoint);
// A missing or unreadable file leaves the endpoint's list as it is.
bool Load(OnlineAccessClientEndpoint& endpoint);

}  // namespace MessageStore
