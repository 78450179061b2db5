// The stand-in's database repair over the wire: request 3 starts a repair
// of the asset store (RepairJob) in the mode it names, request 4 polls it.
//
// Request 3: u32 mode; empty reply. A repair that starts writes the trace
// line "do repair <mode> <transaction id> 0". While one is at work, or for
// a request cut short, an error result goes back instead (kind-3 note for
// the request's transaction). Every folder of "local" and "editing" that
// holds no asset gives an error result for the transaction of request 3,
// sent with the answer to the starting connection's next poll.
//
// Request 4: no payload; reply: bool at work, float progress, String status.
#pragma once

#include <cstdint>
#include <memory>

namespace kaddaemon {

class AssetStore;
class RequestTable;

namespace testrequest {

// Test-only numbers of the repair, served with --test-requests only.
constexpr uint32_t kRepairHoldRunning = 60030;    // u32 n: the next n polls answer "at work" (0xFFFFFFFF: all); empty reply
constexpr uint32_t kRepairDropAfterPoll = 60031;  // the connection of the next poll ends after its answer; empty reply

}  // namespace testrequest

void RegisterRepairRequests(RequestTable& table, std::shared_ptr<AssetStore> store, bool testRequests);

}  // namespace kaddaemon
