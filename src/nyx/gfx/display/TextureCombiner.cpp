#include "nyx/gfx/display/TextureCombiner.h"

#include "nyx/gfx/display/Display.h"

namespace Nyx {

void TextureCombiner::SetConstantRegister(uint32_t index, const DisplayColour& colour)
{
    if (index >= kRegisterCount)
        return;
    registers_[index] = colour;
    if (display_)
        display_->Note(name_ + ".SetConstantRegister",
                       {static_cast<float>(index), colour.r, colour.g, colour.b, colour.a});
}

void TextureCombiner::Enable()
{
    if (display_)
        display_->EnableCombiner(this);
}

void TextureCombiner::Disable()
{
    if (display_)
        display_->DisableCombiner(this);
}

}  // namespace Nyx
