// Requests the stand-in daemon answers beyond request 270: the answer to a
// question (request 150), and test-only numbers, which the tool never
// sends, that make the daemon behave in the ways a client must survive:
// notifications before a reply, replies out of order, late or never, and
// frames that break the link. The test-only numbers are served only by a
// daemon started for tests; any other answers them as numbers it does not
// know.
#pragma once

#include <cstdint>

namespace kaddaemon {

class RequestTable;

namespace testrequest {

// Far above every number the tool uses.
constexpr uint32_t kEcho = 60001;          // reply: the request payload
constexpr uint32_t kResults = 60002;       // u32 n: a results note (kind 3) with n results (at most kMostResults), then reply u32 n sent
constexpr uint32_t kAsk = 60003;           // KUID, then text: a question note (kind 2); the reply (u32 answer) waits for request 150
constexpr uint32_t kHold = 60004;          // reply (the payload) held until kReleaseHeld
constexpr uint32_t kReleaseHeld = 60005;   // every held reply, newest first, then reply u32 count
constexpr uint32_t kDropReply = 60006;     // no reply, ever
constexpr uint32_t kNote = 60007;          // u32 kind, bytes: a note of that kind with the bytes, then an empty reply
constexpr uint32_t kCloseLink = 60008;     // the connection ends without a reply
constexpr uint32_t kStrayReply = 60009;    // a reply for id 0 carrying the payload, then the reply (the payload)
constexpr uint32_t kBadFrame = 60010;      // u32 what (below); no reply, the connection stays open
constexpr uint32_t kLastAnswer = 60011;    // reply: u32 id, u32 answer of the last request 150 (0, 0 before one)
constexpr uint32_t kStuck = 60012;         // no reply: the handler never returns, as one stuck in a call for good

// What kResults sends at most: the count comes off the wire, and a note of
// billions of results would keep the connection busy for minutes.
constexpr uint32_t kMostResults = 1024;

// kBadFrame's kinds of frame.
constexpr uint32_t kOversizeReply = 0;  // a reply header for its own id announcing more than the limit
constexpr uint32_t kOversizeNote = 1;   // a note header announcing more than the limit
constexpr uint32_t kUnknownTag = 2;     // four bytes that are no tag

}  // namespace testrequest

// Registers request 150, and the test requests when `testRequests` is set.
void RegisterStandInRequests(RequestTable& table, bool testRequests);

}  // namespace kaddaemon
