// Monotonic and wall-clock time.
#pragma once

#include <cstdint>

namespace Nyx {

class Time {
public:
    // Milliseconds of a monotonic clock (wraps like a 32-bit tick count).
    static uint32_t GetTickCount();
    static uint64_t GetTickCount64();
    // Seconds since 1970-01-01 UTC.
    static int64_t Now();
};

}  // namespace Nyx
