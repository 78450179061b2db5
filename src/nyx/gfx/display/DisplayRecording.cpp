#include "nyx/gfx/display/DisplayRecording.h"

#include "nyx/gfx/chunks/GeometryChunk.h"

namespace Nyx {

void DisplayRecording::SetTransform(const Transform& t)
{
    state_.transform = t;
    Record("SetTransform", {t.position.x, t.position.y, t.position.z, t.scale.x, t.scale.y, t.scale.z});
}

void DisplayRecording::SetRenderScale(const Vector3f& scale)
{
    state_.renderScale = scale;
    Record("SetRenderScale", {scale.x, scale.y, scale.z});
}

void DisplayRecording::SetVertexProgram(uint32_t program)
{
    state_.vertexProgram = program;
    Record("SetVertexProgram", {static_cast<float>(program)});
}

void DisplayRecording::SetLightingState(bool on, uint32_t lightCount, float opacity)
{
    state_.lighting = on;
    state_.lightCount = lightCount;
    state_.opacity = opacity;
    Record("SetLightingState", {on ? 1.0f : 0.0f, static_cast<float>(lightCount), opacity});
}

void DisplayRecording::DrawChunk(const GeometryChunk& chunk, const Material* material)
{
    if (keep_)
        draws_.push_back({&chunk, material, chunk.GetPrimitiveCount(), state_});
    Record("DrawChunk", {static_cast<float>(chunk.GetPrimitiveCount())});
}

void DisplayRecording::Note(const std::string& name, std::vector<float> values)
{
    if (keep_)
        events_.push_back({name, std::move(values)});
}

std::vector<std::string> DisplayRecording::GetEventNames() const
{
    std::vector<std::string> names;
    for (const DisplayEvent& e : events_)
        names.push_back(e.name);
    return names;
}

void DisplayRecording::ClearRecording()
{
    events_.clear();
    draws_.clear();
}

}  // namespace Nyx
