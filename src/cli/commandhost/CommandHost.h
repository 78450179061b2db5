// "kadcommandhost": the tool as the asset-database daemon's command host. It
// registers with the daemon (request 140) and then polls every 50 ms until
// the connection drops or the console asks it to quit, keeping the link alive
// with request 0 every 100th pass. The daemon's jobs arrive as notifications,
// which the daemon client hands to the main thread; CommandHostCallback
// (CommandHostJob.h) runs them there.
#pragma once

#include <cstdint>

namespace CommandHost {
constexpr uint32_t kRequestKeepAlive = 0;
constexpr uint32_t kRequestRegister = 140;
constexpr uint32_t kPassWaitMs = 50;
constexpr uint32_t kKeepAlivePasses = 100;
constexpr uint32_t kDrainWaitMs = 10;
}  // namespace CommandHost

// Returns once the loop has ended and the queued jobs have run.
void RunCommandHost();
