// The stand-in daemon's side of the command host: a connection that sends
// request 140 becomes the command host; jobs go to it as notifications of
// kind 1, and its requests 141 carry the answers back, in the order the jobs
// were sent. While a command host is registered, request 38 (validate an
// asset folder) is forwarded to it as job 0; without one, or when it leaves
// before answering, the stand-in's own check answers.
#pragma once

#include <cstdint>
#include <string>

namespace kaddaemon {

class RequestTable;

namespace testrequest {

// Job payload (u32 id, then the job's fields, or any bytes): sent to the
// command host; reply u32 outcome (below), then the host's answer.
constexpr uint32_t kCommandHostJob = 60140;
// Reply u32: 1 while a command host is registered, else 0.
constexpr uint32_t kCommandHostState = 60141;

// kCommandHostJob's outcomes.
constexpr uint32_t kJobAnswered = 0;
constexpr uint32_t kJobNoHost = 1;    // none registered, or the asker is the host itself
constexpr uint32_t kJobHostLeft = 2;  // the host's connection ended before it answered

}  // namespace testrequest

// Registers requests 140 and 141, wraps the handler of request 38 already
// in the table, and adds the test requests when `testRequests` is set.
// `root` is the data root, against which relative asset folders are made
// absolute.
void RegisterCommandHostRequests(RequestTable& table, const std::string& root, bool testRequests);

}  // namespace kaddaemon
