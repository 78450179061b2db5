// The asset requests of the stand-in daemon, answered from an AssetStore.
//
// ServeStoreRequest is the whole handling of one request frame: it reads
// the payload, sends any results notification (kind 3) through the sink
// before it returns, and writes the reply payload. A payload too short for
// its fields reads them as their defaults, which name no asset, so a bad
// frame ends in an error notification or an empty reply.
#pragma once

#include <cstdint>
#include <memory>

#include "kaddaemon/ResultNotes.h"

class TStream;

namespace kaddaemon {

class AssetStore;
class RequestTable;

// False when the number is not one the store answers: the reply is then
// empty and nothing was sent. Handles opened or created belong to `owner`
// (AssetStore::ReleaseOwner).
bool ServeStoreRequest(AssetStore& store, uint32_t number, uint32_t transactionId, TStream& request, TStream& reply,
                       const NoteSink& notes, uint64_t owner = 0);

// Registers a handler for each number the store answers. What a connection
// opened or created is released when it ends.
void RegisterStoreRequests(RequestTable& table, std::shared_ptr<AssetStore> store);

}  // namespace kaddaemon
