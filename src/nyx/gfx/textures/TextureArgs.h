// The records a texture-stage set-up is made from: for one stage, how its
// colour (or alpha) is combined and from which arguments. The numbers are
// the engine's and are kept as given; {0, 3, 3} fills an argument place
// that the combine function does not take.
#pragma once

#include <array>
#include <cstdint>

namespace Nyx {

struct TexArg {
    uint8_t flag = 0;
    uint32_t kind = 3;
    uint32_t value = 3;
    bool operator==(const TexArg&) const = default;
};

struct TextureArgs {
    static constexpr TexArg kUnused{0, 3, 3};

    constexpr TextureArgs() noexcept : TextureArgs(0, 0, 0, 0, kUnused, kUnused, kUnused, kUnused) {}
    constexpr TextureArgs(uint32_t stage, uint32_t count, uint32_t mode, uint32_t function, TexArg a1, TexArg a2,
                          TexArg a3, TexArg a4) noexcept
        : stage(stage), count(count), mode(mode), function(function), args{a1, a2, a3, a4}
    {
    }

    uint32_t stage;
    uint32_t count;  // the record's second number
    uint32_t mode;   // 0 colour, 1 alpha
    uint32_t function;
    std::array<TexArg, 4> args;
    bool operator==(const TextureArgs&) const = default;
};

}  // namespace Nyx
