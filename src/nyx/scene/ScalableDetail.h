// The engine's side of an object whose detail can be lowered and raised by
// a number of faces: it keeps the current step and face count, and turns a
// wanted detail between its minimum and maximum into a target face count
// (detail × full face count, rounded) handed to the object's raise or
// lower operation.
#pragma once

#include <cstdint>

#include "nyx/scene/Camera.h"

namespace Nyx {

class ScalableDetail {
public:
    // The argument is the render kernel's object the engine keeps; the
    // headless engine only records it.
    explicit ScalableDetail(const void* kernel) noexcept : kernel_(kernel) {}
    ScalableDetail(const ScalableDetail&) = delete;
    ScalableDetail& operator=(const ScalableDetail&) = delete;
    virtual ~ScalableDetail() = default;

    // A locked detail ignores SetDetail until unlocked.
    virtual void SetDetailLocked(bool locked) noexcept { locked_ = locked; }
    // Clamped to [min, max]; moves the object to the rounded face count.
    virtual void SetDetail(float detail);
    virtual void SetMaxDetail(float detail) noexcept { maxDetail_ = detail; }
    virtual float GetMaxDetail() const noexcept { return maxDetail_; }
    virtual void SetMinDetail(float detail) noexcept { minDetail_ = detail; }
    virtual float GetMinDetail() const noexcept { return minDetail_; }
    virtual void GetGlobalBoundingSphere(Sphere& sphere) const = 0;
    // The face count the object holds at full detail, which it holds now.
    virtual void Init(uint32_t faceCount) noexcept
    {
        fullFaceCount_ = faceCount;
        currentFaceCount_ = faceCount;
        detail_ = 1.0f;
    }
    virtual void RaiseDetail(uint32_t faceCount) = 0;
    virtual void LowerDetail(uint32_t faceCount) = 0;

    // Takes another object's detail state (step, counts, limits).
    void InitInstance(const ScalableDetail& from) noexcept;

    bool IsDetailLocked() const noexcept { return locked_; }
    float GetDetail() const noexcept { return detail_; }
    uint32_t GetFullFaceCount() const noexcept { return fullFaceCount_; }
    uint32_t GetCurrentStep() const noexcept { return currentStep_; }
    uint32_t GetCurrentFaceCount() const noexcept { return currentFaceCount_; }
    const void* GetKernel() const noexcept { return kernel_; }

protected:
    void SetCurrentStep(uint32_t step) noexcept { currentStep_ = step; }
    void SetCurrentFaceCount(uint32_t count) noexcept { currentFaceCount_ = count; }

private:
    const void* kernel_;
    uint32_t currentStep_ = 0;
    uint32_t currentFaceCount_ = 0;
    uint32_t fullFaceCount_ = 0;
    float detail_ = 1.0f;
    float minDetail_ = 0.0f;
    float maxDetail_ = 1.0f;
    bool locked_ = false;
};

}  // namespace Nyx
