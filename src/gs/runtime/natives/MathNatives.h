// The natives of the script class Math: random numbers from one
// process-wide generator, and the square root.
#pragma once

#include <cstdint>

class GSMachine;

namespace GSRuntime {

// Seeds the generator from the clock and registers the natives.
void RegisterMathNatives(GSMachine& machine);

// The generator's state, shared by every script of the process.
int32_t& MathRandomState() noexcept;
// The next value of the generator, which becomes its state.
int32_t MathNextRandom() noexcept;

}  // namespace GSRuntime
