#include "resources/collision/KSDebugVp.h"

namespace {

// Constant-initialised: valid before any constructor of this program runs.
constinit KSDebugVp* gCurrent = nullptr;

// Makes the instance before main even when no code asks for it first.
[[maybe_unused]] const bool gConstructedAtStart = (KSDebugVp::Global(), true);

}  // namespace

KSDebugVp& KSDebugVp::Global()
{
    static KSDebugVp instance;
    return instance;
}

KSDebugVp* KSDebugVp::Current() noexcept { return gCurrent; }

KSDebugVp::KSDebugVp()
{
    for (auto& group : groups_)
        for (auto& array : group)
            array.reserve(kInitialRoom);
    for (auto& group : values_)
        for (int i = 0; i < 4; ++i)
            group[i] = kDefaultValues[i];
    gCurrent = this;
}

KSDebugVp::~KSDebugVp()
{
    if (gCurrent == this)
        gCurrent = nullptr;
}

void KSDebugVp::DrawLine(const Nyx::Vector3f& from, const Nyx::Vector3f& to, uint32_t colour)
{
    const Nyx::Vector3f points[2] = {from, to};
    SubmitPrimitive(points, kLinePrimitive, 2, colour, 0, 1);
}
