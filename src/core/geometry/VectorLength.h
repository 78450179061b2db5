// The length of a vector by a table estimate of 1/sqrt refined by Newton
// steps, the way the mesh code has always computed it. It agrees with
// sqrtf of the squared length to within 2 ulp, not bit for bit.
#pragma once

#include <array>

#include "core/geometry/Vector3.h"

// The squared length is rounded to a float s first; the result is 0 for a
// zero vector (and for one whose squared length underflows to 0), infinity
// when s overflows, and NaN for a NaN component.
float VectorLength(const Vector3& v) noexcept;

// The starting estimates: entry i is 1/sqrt of the midpoint of its bucket of
// squared lengths. Bit 8 of i is the lowest exponent bit of s, bits 0-7 its
// top mantissa bits; with that exponent bit set the bucket lies in [1, 2),
// with it clear in [2, 4) (scaled by an even power of 2).
extern const std::array<float, 512> kInverseSqrtEstimates;
