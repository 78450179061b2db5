#include "nyx/gfx/display/VertexProgram.h"

#include "nyx/gfx/display/Display.h"

namespace Nyx {

void VertexProgram::SetLocalConstant(uint32_t index, float x, float y, float z)
{
    if (index >= kMaxLocalConstants)
        return;
    constants_[index] = {x, y, z, 1.0f};
    if (display_)
        display_->Note(name_ + ".SetLocalConstant", {static_cast<float>(index), x, y, z});
}

}  // namespace Nyx
