// The harness's "endpoint" mode: the process-wide online endpoint driven
// by commands on standard input, one a line, each answered with one line
// that begins with "= " (log lines may come between).
#pragma once

#include <iosfwd>

namespace harness {

// Expects the daemon client started and the data folders open. Returns the
// exit code once "quit" or the end of the input is read.
int RunEndpointMode(std::istream& in, std::ostream& out);

}  // namespace harness
