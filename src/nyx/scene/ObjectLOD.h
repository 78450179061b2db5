// The level-of-detail state of a scene object: its cut-off list, the point
// of its bounding sphere that distances are measured to, and the multiplier
// and offset that turn a distance into a LOD value. The value last found is
// kept, so that whoever culls and whoever draws agree on it.
#pragma once

#include <cstdint>
#include <vector>

#include "nyx/scene/Camera.h"

namespace Nyx {

class ObjectLOD {
public:
    // Most cut-offs one object keeps; a longer list is cut there.
    static constexpr uint32_t kMaxCutOffs = 128;
    enum CalcPoint : uint32_t { kCalcCentre = 0, kCalcNear = 1, kCalcFar = 2 };

    ObjectLOD() = default;
    virtual ~ObjectLOD() = default;

    // Takes the cut-offs in the order given (one per level) and the point to
    // measure to; an unknown point measures to the centre.
    void Init(const std::vector<float>& cutOffs, uint32_t calcPoint);
    // Takes another object's whole LOD state.
    void InitInstance(const ObjectLOD& from);

    // The distance from the camera to the chosen point of the sphere, times
    // the multiplier, plus the offset; kept as the last LOD value.
    float FindLOD(const Sphere& sphere, const Camera& camera);
    // The first level whose cut-off is at least the value, else the last
    // level; 0 without levels.
    uint32_t FindLODIndex(float value) const noexcept;

    uint32_t GetLODCount() const noexcept { return static_cast<uint32_t>(cutOffs_.size()); }
    const std::vector<float>& GetCutOffs() const noexcept { return cutOffs_; }
    uint32_t GetCalcPoint() const noexcept { return calcPoint_; }
    float GetMultiplier() const noexcept { return multiplier_; }
    float GetOffset() const noexcept { return offset_; }
    void SetMultiplier(float multiplier) noexcept { multiplier_ = multiplier; }
    void SetOffset(float offset) noexcept { offset_ = offset; }
    float GetLastLOD() const noexcept { return lastLOD_; }

private:
    std::vector<float> cutOffs_;
    uint32_t calcPoint_ = kCalcCentre;
    float multiplier_ = 1.0f;
    float offset_ = 0.0f;
    float lastLOD_ = 0.0f;
};

}  // namespace Nyx
