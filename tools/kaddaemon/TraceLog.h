// The frame trace of the stand-in daemon (--trace FILE): one line per frame,
// written whole and flushed at once so that a test can read it while the
// daemon runs.
//
// Line forms (fields separated by one blank):
//   in CDAT <version> <build> <path length>    the client's handshake
//   out DDAT <first> <second> 0                 the answer to it
//   in request <number> <transaction id> <payload length>
//   out reply <number> <transaction id> <payload length>
//   out note <kind> 0 <payload length>
//   do repair <mode> <transaction id> 0         a repair started by request 3
// The orderly disconnect shows as "in request 1 0 0".
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace kaddaemon {

class TraceLog {
public:
    TraceLog() = default;
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Creates (or empties) the file; false when it cannot be written.
    bool Open(const std::string& path);
    bool IsOpen() const noexcept { return file_ != nullptr; }

    void Frame(const char* direction, const char* kind, uint32_t number, uint32_t id, uint32_t length);

private:
    std::mutex lock_;
    std::FILE* file_ = nullptr;
};

}  // namespace kaddaemon
