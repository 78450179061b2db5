// Asset builds as the checks compare them: a build is a 32-bit float, and
// a threshold is a whole number of hundredths (290 is build 2.9). The
// arithmetic is done in float, as the builds are stored, so that a build
// such as 2.9 lands on 290 and not one below it.
#pragma once

#include <cstdint>

namespace TETLib {

// The whole number of (build x 100 + 0.1): 3.2 gives 320, 3.21 gives 321.
// Out-of-range builds saturate; not-a-number gives 0.
int32_t BuildNumber(float build);
// The whole number of build x 100, without the added tenth.
int32_t BuildHundredths(float build);

}  // namespace TETLib
