// The stand-in daemon's requests that move whole assets in and out of the
// store: the thumbnail (29), installing an asset folder (39) or the assets
// of a package file (40), and exporting an asset as a package entry (48).
//
// An install fills a folder of its own and commits it in place of the
// asset's installed folder, so the installed folder is on disk whole before
// the reply; what fails on the way leaves the asset as it was and is
// reported as an error result of the transaction. A working copy of the
// asset goes to the trash, with a warning. An install whose client
// has gone stops before its next commit. A package is read with the tool's
// own package code, so what it may write is what the tool may.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "kaddaemon/StoreRequests.h"

class TStream;

namespace kaddaemon {

class AssetStore;
class RequestTable;

// Export flag bit: the file chunks are LZSS streams behind the u32
// little-endian size of the file, and the entry says "LZSS".
constexpr uint32_t kExportCompressed = 1;

// The largest image whose bytes a thumbnail reply carries.
constexpr uint32_t kMaxThumbnailBytes = 16u << 20;

// Whether the client that asked has gone.
using AskerGone = std::function<bool()>;

// Serves one of these numbers as ServeStoreRequest does; false for any
// other number (nothing then read, written or sent).
bool ServePackageRequest(AssetStore& store, uint32_t number, uint32_t transactionId, TStream& request,
                         TStream& reply, const NoteSink& notes, const AskerGone& gone = {});

void RegisterPackageRequests(RequestTable& table, std::shared_ptr<AssetStore> store);

}  // namespace kaddaemon
