// The debug-drawing sink that collision code may draw into. This program
// shows nothing: every drawing operation does nothing, and the viewport
// exists so that such code always has one to call.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/base/String.h"
#include "nyx/scene/math/VectorOps.h"

class KSDebugVp {
public:
    static constexpr uint32_t kInitialRoom = 1000;
    static constexpr uint32_t kLinePrimitive = 2;

    // The process's one instance, constructed on first use (and before main
    // in any program that links this file), so a caller running during
    // static initialisation finds it too.
    static KSDebugVp& Global();
    // The current viewport: set by construction, cleared by destruction;
    // null during exit, after the instance is gone.
    static KSDebugVp* Current() noexcept;

    KSDebugVp();
    KSDebugVp(const KSDebugVp&) = delete;
    KSDebugVp& operator=(const KSDebugVp&) = delete;
    virtual ~KSDebugVp();

    virtual bool IsAvailable() { return true; }
    virtual void BeginFrame() {}
    virtual void EndFrame() {}
    virtual void Clear() {}
    virtual void SubmitPrimitive(const Nyx::Vector3f* /*points*/, uint32_t /*kind*/, uint32_t /*count*/,
                                 uint32_t /*colour*/, uint32_t /*flag0*/, uint32_t /*flag1*/)
    {
    }
    virtual void DrawLine(const Nyx::Vector3f& from, const Nyx::Vector3f& to, uint32_t colour);
    virtual void DrawText(const Nyx::Vector3f& /*at*/, const Nyx::String& /*text*/, uint32_t /*colour*/) {}
    virtual void Flush() {}

    // The defaults each array's 32-bit value is copied from at construction.
    static constexpr uint32_t kDefaultValues[4] = {0, 0, 0, 0};

private:
    struct Entry {
        float values[4];
    };
    static_assert(sizeof(Entry) == 16);
    struct TextEntry {
        float position[3];
        uint32_t colour;
        Nyx::String text;
    };

    std::vector<Entry> groups_[2][4];
    std::vector<TextEntry> texts_;
    uint32_t values_[2][4];
};
