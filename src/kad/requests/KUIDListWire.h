// The KUID list of the daemon's requests and replies (the search answer,
// dependencies, obsoletes): a u32 count, then that many KUIDs in their
// stream form.
#pragma once

#include <cstdint>
#include <span>

#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"

class TStream;

// Bytes between the stream's position and its end.
uint32_t StreamBytesLeft(TStream& s);

void WriteKUIDList(TStream& out, std::span<const KUID> kuids);
void WriteKUIDList(TStream& out, const KUIDRing& kuids);

// Appends the list's KUIDs to the ring in the order received; entries the
// ring already holds stay. A count is only believed as far as the bytes
// behind it reach: a count that claims more KUIDs than the stream holds
// appends the whole ones there are, records stream error 4 and gives false.
bool ReadKUIDList(TStream& in, KUIDRing& out);
