#include "scriptapi/UpdateTick.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdateTickTest, ClockStepsForwardOnlyOnTicksAndByTheTestOffset)
{
    UpdateTick();
    const float first = ToolClockSeconds();
    AdvanceToolClock(600.0);
    // The offset shows from the next tick on, not before.
    EXPECT_EQ(ToolClockSeconds(), first);
    UpdateTick();
    EXPECT_GE(ToolClockSeconds(), first + 600.0f);
    EXPECT_LT(ToolClockSeconds(), first + 3600.0f);
}

}  // namespace
