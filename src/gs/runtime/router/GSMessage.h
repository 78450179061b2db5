// A router message: the same 16 bytes in the router's pools and in thread
// queues.
#pragma once

#include <cstdint>

namespace GSRuntime {

struct GSMessage {
    static constexpr uint32_t kDelayMask = 0x3FFFFFFF;
    static constexpr uint32_t kForwarding = 0x40000000;
    static constexpr uint32_t kPooled = 0x80000000;

    uint16_t major;
    uint16_t minor;        // 1: any minor
    uint32_t source;       // node id
    uint32_t destination;  // node id, 0 for none
    uint32_t delay;        // milliseconds (due time when queued) and the two flags
};

static_assert(sizeof(GSMessage) == 16);

}  // namespace GSRuntime
