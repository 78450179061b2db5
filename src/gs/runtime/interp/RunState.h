// The process-wide state of script runs: the running thread and context,
// how deep runs nest, and the jump budget spent by the outermost run and
// every run nested in it; and the limits runs keep to.
#pragma once

#include <cstdint>

#include "gs/runtime/objects/GSValue.h"

namespace GSRuntime {

class GSContext;
class GSThread;

struct GSRunState {
    GSThread* thread = nullptr;
    GSContext* context = nullptr;
    uint32_t depth = 0;
    uint64_t spent = 0;  // bytes of code run, counted at taken jumps, and work charged
};

GSRunState& RunState() noexcept;

struct GSRunLimits {
    static constexpr uint64_t kJumpBudget = 0x1000000;
    static constexpr int32_t kMaxArrayElements = 0x1000000;
    static constexpr int64_t kMaxStringBytes = 0x4000000;
    // Work that allocates, fills, copies or compares in proportion to a
    // size the script controls costs budget as well as the code that asks
    // for it: one unit (one byte of code) per this many bytes it touches,
    // an element being one word. A run of code alone ends within a few
    // milliseconds; one that copies small texts over and over within some
    // 50 ms; and a loop of copies of a 32 MB text, or of the largest
    // allocations, whose fresh memory is slowest to touch, within a second
    // or two. The largest single allocation or copy takes a small part of
    // the budget.
    static constexpr uint64_t kWorkBytesPerUnit = 128;

    uint64_t jumpBudget = kJumpBudget;
    int32_t maxArrayElements = kMaxArrayElements;
    int64_t maxStringBytes = kMaxStringBytes;
};

// The limits in force. Only tests, fuzz targets and benchmarks change them
// (a bench runs longer than the budget allows, a fuzz target keeps values
// small).
GSRunLimits& RunLimits() noexcept;

// The budget units of work over bytes, and over elements of an array.
constexpr uint64_t ByteWork(uint64_t bytes) noexcept { return bytes / GSRunLimits::kWorkBytesPerUnit; }
constexpr uint64_t ElementWork(uint64_t elements) noexcept
{
    return elements * sizeof(GSSlot) / GSRunLimits::kWorkBytesPerUnit;
}
static_assert(ElementWork(uint64_t(GSRunLimits::kMaxArrayElements)) <= GSRunLimits::kJumpBudget / 2 &&
                  ByteWork(uint64_t(GSRunLimits::kMaxStringBytes)) <= GSRunLimits::kJumpBudget / 2,
              "the largest array or string is made within half the budget");

// Charges work a native does to the run in progress. False when the run
// has spent its budget: the native then leaves the work undone, and the
// run ends with ER_Timeout when the native returns. Outside any run it
// charges nothing.
bool ChargeWork(uint64_t units) noexcept;

}  // namespace GSRuntime
