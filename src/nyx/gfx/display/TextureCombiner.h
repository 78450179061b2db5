// A loaded texture-combiner program: its named constant registers with the
// defaults its header gives, the registers' current values, and enabling it
// on the display it was loaded for (one combiner is enabled at a time).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "nyx/base/ReferenceCount.h"
#include "nyx/gfx/materials/Material.h"

namespace Nyx {

class Display;

class TextureCombiner : public ReferenceCount {
public:
    static constexpr uint32_t kRegisterCount = 8;
    using Registers = std::array<DisplayColour, kRegisterCount>;
    using RegisterNames = std::array<std::string, kRegisterCount>;

    TextureCombiner(std::string name, const RegisterNames& names, const Registers& defaults, std::string text,
                    Display* display)
        : name_(std::move(name)), names_(names), registers_(defaults), text_(std::move(text)), display_(display)
    {
    }

    const std::string& GetName() const noexcept { return name_; }
    const std::string& GetText() const noexcept { return text_; }
    // The register's name in the header; empty when the header names none.
    const std::string& GetRegisterName(uint32_t index) const noexcept
    {
        static const std::string kNone;
        return index < kRegisterCount ? names_[index] : kNone;
    }

    // Indexes past the last register are ignored.
    void SetConstantRegister(uint32_t index, const DisplayColour& colour);
    const Registers& GetRegisters() const noexcept { return registers_; }
    DisplayColour GetRegister(uint32_t index) const noexcept
    {
        return index < kRegisterCount ? registers_[index] : DisplayColour{};
    }

    void Enable();
    void Disable();

private:
    std::string name_;
    RegisterNames names_;
    Registers registers_;
    std::string text_;
    Display* display_;
};

}  // namespace Nyx
