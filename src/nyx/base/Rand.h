// The engine's pseudo-random generator.
#pragma once

#include <cstdint>

namespace Nyx {

class Rand {
public:
    explicit Rand(uint32_t seed = 1) noexcept : state_(seed ? seed : 1) {}

    // Seeds from the clock and the process, so that two runs differ.
    void Randomise() noexcept;
    void Seed(uint32_t seed) noexcept { state_ = seed ? seed : 1; }
    // A value in 0 .. 0x7FFFFFFF.
    int32_t NextInt() noexcept;

private:
    uint32_t state_;
};

}  // namespace Nyx
