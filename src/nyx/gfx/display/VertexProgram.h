// A loaded vertex program: one program of a registered vertex-program set,
// the sections it is built from, and the local constants set on it. Every
// change is an event on the display it was loaded for; a draw with it
// snapshots the constants.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nyx/base/ReferenceCount.h"

namespace Nyx {

class Display;

class VertexProgram : public ReferenceCount {
public:
    using Constant = std::array<float, 4>;
    // Local constants the program text may declare.
    static constexpr uint32_t kMaxLocalConstants = 96;

    VertexProgram(std::string setName, std::string name, std::vector<std::string> sections, std::string text,
                  Display* display)
        : setName_(std::move(setName)), name_(std::move(name)), sections_(std::move(sections)),
          text_(std::move(text)), display_(display)
    {
    }

    const std::string& GetSetName() const noexcept { return setName_; }
    const std::string& GetName() const noexcept { return name_; }
    const std::vector<std::string>& GetSections() const noexcept { return sections_; }
    // The whole text of the set the program was loaded from.
    const std::string& GetText() const noexcept { return text_; }

    // Sets (x, y, z, 1); indexes past the last local constant are ignored.
    void SetLocalConstant(uint32_t index, float x, float y, float z);
    const std::map<uint32_t, Constant>& GetLocalConstants() const noexcept { return constants_; }

private:
    std::string setName_;
    std::string name_;
    std::vector<std::string> sections_;
    std::string text_;
    Display* display_;
    std::map<uint32_t, Constant> constants_;
};

}  // namespace Nyx
