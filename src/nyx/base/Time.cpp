#include "nyx/base/Time.h"

#include <chrono>

namespace Nyx {

uint64_t Time::GetTickCount64()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t Time::GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

int64_t Time::Now()
{
    using namespace std::chrono;
    return static_cast<int64_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace Nyx
