// The stand-in daemon's side of the command host: a connection that sends
// request 140 becomes the command host; jobs go to it as notifications of
// kind 1, and its requests 141 carry the answers back, in the order the jobs
// were sent. Request 38 (validate an asset folder) is forwarded to it as job
// 0; when none is registered, the stand-in starts one and waits for it to
// register. A validation that finds no command host to be had, or whose host
// ends before it answers, fails with an error result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kaddaemon {

class CommandHostLauncher;
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

// Registers requests 140, 141 and 38, and adds the test requests when
// `testRequests` is set. `root` is the data root, against which relative
// asset folders are made absolute; `hostProgram` is the tool that is started
// as the command host (empty: none is ever started). The launcher returned
// ends the host it started (CommandHostLauncher::End) when the daemon closes.
std::shared_ptr<CommandHostLauncher> RegisterCommandHostRequests(RequestTable& table, const std::string& root,
                                                                 bool testRequests,
                                                                 const std::string& hostProgram = {});

}  // namespace kaddaemon
