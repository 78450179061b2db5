// Whether a daemon that the discovery block names really answers: the
// handshake on its port must come back from that very process.
#pragma once

#include <cstdint>
#include <string_view>

namespace kaddaemon {

// Connects to 127.0.0.1:port, sends the client handshake for `root`, and
// checks that the answer is "DDAT" from `expectedProcessId`; then leaves
// with the orderly disconnect. False on any failure or after the time.
bool ProbeDaemon(uint16_t port, uint32_t expectedProcessId, std::string_view root, int timeoutMs);

}  // namespace kaddaemon
