// The stand-in daemon's command line and the data root it serves.
#pragma once

#include <string>

namespace kaddaemon {

struct DaemonOptions {
    std::string root;       // --root DIR: the data root; empty: the folder above the program's
    std::string tracePath;  // --trace FILE: the frame trace
    bool testRequests = false;  // --test-requests: serve the test-only requests
};

// Accepts "--root DIR", "--root=DIR", "--trace FILE", "--trace=FILE" and
// "--test-requests". False with `error` set on anything else.
bool ParseDaemonOptions(int argc, const char* const* argv, DaemonOptions& options, std::string& error);

// The data root as an absolute path without links: the given folder, or,
// when none is given, the parent of the folder holding the program. False
// when it is not an existing folder.
bool FindDataRoot(const std::string& given, std::string& root);

}  // namespace kaddaemon
