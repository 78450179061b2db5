#include "gs/runtime/interp/RunState.h"

namespace GSRuntime {

GSRunState& RunState() noexcept
{
    static GSRunState state;
    return state;
}

GSRunLimits& RunLimits() noexcept
{
    static GSRunLimits limits;
    return limits;
}

}  // namespace GSRuntime
