// The stand-in daemon's command line and the data root it serves.
#pragma once

#include <cstdint>
#include <string>

namespace kaddaemon {

struct DaemonOptions {
    std::string root;       // --root DIR: the data root; empty: the folder above the program's
    std::string tracePath;  // --trace FILE: the frame trace
    bool testRequests = false;  // --test-requests: serve the test-only requests
    // --test-state-limit BYTES: the largest state file read or saved, so a
    // test reaches it with a small file; 0: the daemon's own.
    uint64_t testStateLimit = 0;
};

// Accepts "--root DIR", "--root=DIR", "--trace FILE", "--trace=FILE",
// "--test-requests", and with it "--test-state-limit BYTES" (or
// "--test-state-limit=BYTES", a number from 1). False with `error` set on
// anything else.
bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options, std::string& error);

// Puts the test settings of the options into effect.
void ApplyTestOptions(const DaemonOptions& options);

// The data root as an absolute path without links: the given folder, or,
// when none is given, the parent of the folder holding the program. False
// when it is not an existing folder.
bool FindDataRoot(const std::string& given, std::string& root);

}  // namespace kaddaemon
