#include "nyx/base/Rand.h"

#include <chrono>
#include <unistd.h>

namespace Nyx {

void Rand::Randomise() noexcept
{
    uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    t ^= static_cast<uint64_t>(::getpid()) << 17;
    Seed(static_cast<uint32_t>(t ^ (t >> 32)));
}

int32_t Rand::NextInt() noexcept
{
    // xorshift32: never reaches 0 from a non-zero state.
    uint32_t x = state_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state_ = x;
    return static_cast<int32_t>(x & 0x7FFFFFFFu);
}

}  // namespace Nyx
