// The process-wide state of script runs: the running thread and context,
// how deep runs nest, and the jump budget spent by the outermost run and
// every run nested in it; and the limits runs keep to.
#pragma once

#include <cstdint>

namespace GSRuntime {

class GSContext;
class GSThread;

struct GSRunState {
    GSThread* thread = nullptr;
    GSContext* context = nullptr;
    uint32_t depth = 0;
    uint64_t spent = 0;  // bytes of code run, counted at taken jumps
};

GSRunState& RunState() noexcept;

struct GSRunLimits {
    static constexpr uint64_t kJumpBudget = 0x1000000;
    static constexpr int32_t kMaxArrayElements = 0x1000000;
    static constexpr int64_t kMaxStringBytes = 0x4000000;

    uint64_t jumpBudget = kJumpBudget;
    int32_t maxArrayElements = kMaxArrayElements;
    int64_t maxStringBytes = kMaxStringBytes;
};

// The limits in force. Only tests, fuzz targets and benchmarks change them
// (a bench runs longer than the budget allows, a fuzz target keeps values
// small).
GSRunLimits& RunLimits() noexcept;

}  // namespace GSRuntime
