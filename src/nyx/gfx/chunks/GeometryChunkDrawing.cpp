// What a chunk keeps for its material (named properties) and its draws
// with a vertex program.
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/chunks/GeometryChunk.h"

namespace Nyx {

bool GeometryChunk::AddChunkProperty(const PString& name)
{
    for (const auto& property : properties_)
        if (property.first == name)
            return false;
    properties_.emplace_back(name, 0.0f);
    return true;
}

bool GeometryChunk::SetChunkProperty(const PString& name, float value)
{
    for (auto& property : properties_) {
        if (property.first == name) {
            property.second = value;
            return true;
        }
    }
    return false;
}

bool GeometryChunk::GetChunkProperty(const PString& name, float& value) const
{
    for (const auto& property : properties_) {
        if (property.first == name) {
            value = property.second;
            return true;
        }
    }
    return false;
}

void GeometryChunk::RenderGeometry(Display& display, ViewPoint* /*viewport*/, const VertexProgram* program,
                                   bool /*setStreams*/, int32_t /*stream*/)
{
    display.DrawWithProgram(*this, program, nullptr);
}

void GeometryChunk::RenderPrimitives(Display& display, ViewPoint* /*viewport*/, const VertexProgram* program,
                                     const PrimitiveRange& range, bool /*setStreams*/, int32_t /*stream*/)
{
    display.DrawWithProgram(*this, program, &range);
}

}  // namespace Nyx
