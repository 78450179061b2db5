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

bool ChargeWork(uint64_t units) noexcept
{
    GSRunState& state = RunState();
    if (state.depth == 0)
        return true;
    state.spent += units;
    return state.spent <= RunLimits().jumpBudget;
}

}  // namespace GSRuntime
