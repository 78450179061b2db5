#include "tetlib/errors/ObjectSerial.h"

#include <atomic>

namespace TETLib {

uint64_t NextObjectSerial() noexcept
{
    // 64 bits do not wrap in the life of a process.
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace TETLib
