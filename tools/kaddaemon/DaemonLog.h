// Why a stand-in daemon ended without serving its root, kept where a user
// finds it: the daemon is launched hidden, with its standard streams on
// /dev/null, so the tool only learns that no daemon answered.
//
// Each line goes to the standard error and is appended to "kaddaemon.log"
// under the data root, with the time and the daemon's process id.
#pragma once

#include <string>

namespace kaddaemon {

class DaemonLog {
public:
    static constexpr const char* kFileName = "kaddaemon.log";
    // A log past this size is started afresh, so that a root whose daemon
    // fails at every launch does not fill its disk.
    static constexpr long long kMaxBytes = 1ll << 20;

    // `root` empty: the standard error only.
    static void Fatal(const std::string& root, const std::string& text);
};

}  // namespace kaddaemon
