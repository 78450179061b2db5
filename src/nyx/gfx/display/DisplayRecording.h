// What the headless display keeps of the drawing asked of it: every setter
// call as an event (its name and values, in order), and every draw as a
// snapshot of the state the setters left and the transform bound then.
// Tests read both back; nothing reaches a screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nyx/scene/math/Transform.h"

namespace Nyx {

class GeometryChunk;
class Material;

struct DisplayEvent {
    std::string name;
    std::vector<float> values;
    bool operator==(const DisplayEvent&) const = default;
};

// The state setters leave for the next draw.
struct DisplayState {
    Transform transform;
    Vector3f renderScale{1.0f, 1.0f, 1.0f};
    uint32_t vertexProgram = 0;
    bool lighting = false;
    uint32_t lightCount = 0;
    float opacity = 1.0f;
    bool operator==(const DisplayState&) const = default;
};

// What a mesh instance draws its chunks under.
struct RenderState {
    Transform transform;
    Vector3f scale{1.0f, 1.0f, 1.0f};
    bool scaled = false;
};

struct DisplayDraw {
    const GeometryChunk* chunk = nullptr;
    const Material* material = nullptr;
    uint32_t primitiveCount = 0;
    DisplayState state;
};

class DisplayRecording {
public:
    void SetTransform(const Transform& t);
    void SetRenderScale(const Vector3f& scale);
    void SetVertexProgram(uint32_t program);
    void SetLightingState(bool on, uint32_t lightCount, float opacity);
    // A draw of the chunk (with the material it is drawn with) under the
    // current state.
    void DrawChunk(const GeometryChunk& chunk, const Material* material);
    // An event that changes no drawing state (lighting computed, a light
    // target rendered, ...).
    void Note(const std::string& name, std::vector<float> values = {});

    const DisplayState& GetState() const noexcept { return state_; }
    const std::vector<DisplayEvent>& GetEvents() const noexcept { return events_; }
    const std::vector<DisplayDraw>& GetDraws() const noexcept { return draws_; }
    std::vector<std::string> GetEventNames() const;
    void ClearRecording();
    // A display that keeps nothing still keeps its state (for benches).
    void SetKeepRecording(bool keep) noexcept { keep_ = keep; }
    bool IsKeepingRecording() const noexcept { return keep_; }

protected:
    void Record(const char* name, std::vector<float> values)
    {
        if (keep_)
            events_.push_back({name, std::move(values)});
    }

private:
    bool keep_ = true;
    DisplayState state_;
    std::vector<DisplayEvent> events_;
    std::vector<DisplayDraw> draws_;
};

}  // namespace Nyx
