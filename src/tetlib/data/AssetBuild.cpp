#include "tetlib/data/AssetBuild.h"

#include <cmath>

namespace TETLib {

namespace {

int32_t Truncated(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace

int32_t BuildNumber(float build)
{
    const float scaled = build * 100.0f;
    const float shifted = scaled + 0.1f;
    return Truncated(shifted);
}

int32_t BuildHundredths(float build) { return Truncated(build * 100.0f); }

}  // namespace TETLib
