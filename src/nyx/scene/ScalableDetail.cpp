#include "nyx/scene/ScalableDetail.h"

#include <cmath>

namespace Nyx {

void ScalableDetail::SetDetail(float detail)
{
    if (locked_ || std::isnan(detail))
        return;
    if (detail > maxDetail_)
        detail = maxDetail_;
    if (detail < minDetail_)
        detail = minDetail_;
    detail = detail < 0.0f ? 0.0f : detail > 1.0f ? 1.0f : detail;
    detail_ = detail;
    const double wanted = std::round(static_cast<double>(detail) * fullFaceCount_);
    const auto target = static_cast<uint32_t>(wanted > fullFaceCount_ ? fullFaceCount_ : wanted);
    if (target < currentFaceCount_)
        LowerDetail(target);
    else if (target > currentFaceCount_)
        RaiseDetail(target);
}

void ScalableDetail::InitInstance(const ScalableDetail& from) noexcept
{
    currentStep_ = from.currentStep_;
    currentFaceCount_ = from.currentFaceCount_;
    fullFaceCount_ = from.fullFaceCount_;
    detail_ = from.detail_;
    minDetail_ = from.minDetail_;
    maxDetail_ = from.maxDetail_;
    locked_ = from.locked_;
}

}  // namespace Nyx
