// A test-only interpreter of the instruction subset the built-in program
// texts use: the vertex-program kind (ARB syntax with "%ifdef" sections)
// and pixel shader 1.1 with named constant registers.
#pragma once

#include <array>
#include <map>
#include <set>
#include <string>

namespace programtest {

using Vec4 = std::array<float, 4>;
using Rows = std::array<Vec4, 4>;

struct VertexInputs {
    Vec4 position{0, 0, 0, 1};
    Vec4 normal{0, 0, 1, 0};
    Vec4 tangent{1, 0, 0, 0};
    Vec4 texCoord{0, 0, 0, 1};
    // Rows as DP4 reads them.
    Rows mvp{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    Rows modelView{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    Rows texture1{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    std::map<int, Vec4> locals;
};

struct VertexOutputs {
    Vec4 position{};
    Vec4 primary{};
    Vec4 secondary{};
    std::array<Vec4, 4> texCoord{};
    Vec4 fog{};
};

// Runs the set's common block with the sections given; throws
// std::runtime_error on text it does not understand.
VertexOutputs RunVertexProgram(const std::string& setText, const std::set<std::string>& sections,
                               const VertexInputs& in);

struct PixelInputs {
    std::array<Vec4, 4> textures{};  // what each stage samples
    Vec4 primary{};                  // v0
    Vec4 secondary{};                // v1
    std::map<std::string, Vec4> registers;  // by name
};

// Runs the first common block outside comments; the result is r0 clamped
// to 0..1 as the output is.
Vec4 RunCombiner(const std::string& text, const PixelInputs& in);

}  // namespace programtest
