#include "core/geometry/VectorLength.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {

// std::sqrt cannot run in a constant expression, so the table is built by
// Newton's method in double. From 0.5 the iteration rises monotonically
// towards 1/sqrt(m) for every m in [1, 4) and is settled long before the end.
constexpr double InverseSqrt(double m)
{
    double y = 0.5;
    for (int i = 0; i < 40; ++i)
        y = y * (1.5 - 0.5 * m * y * y);
    return y;
}

constexpr std::array<float, 512> MakeEstimates()
{
    std::array<float, 512> table{};
    for (int i = 0; i < 512; ++i) {
        double middle = 1.0 + ((i & 0xFF) + 0.5) / 256.0;
        if ((i & 0x100) == 0)
            middle *= 2.0;
        table[i] = static_cast<float>(InverseSqrt(middle));
    }
    return table;
}

// Every estimate lies in (0.5, 1), so its exponent field is that of 0.5;
// the lookup relies on it when it rescales an entry by the exponent of s.
constexpr bool EstimatesShareOneExponent(const std::array<float, 512>& table)
{
    for (float f : table) {
        if (!(f > 0.5f && f < 1.0f))
            return false;
    }
    return true;
}

}  // namespace

constexpr std::array<float, 512> kInverseSqrtEstimates = MakeEstimates();
static_assert(EstimatesShareOneExponent(kInverseSqrtEstimates));

float VectorLength(const Vector3& v) noexcept
{
    // The products of floats are exact in double, so s is the true squared
    // length rounded once or twice.
    const float s = static_cast<float>(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y +
                                       static_cast<double>(v.z) * v.z);
    if (s == 0.0f)
        return 0.0f;
    if (!std::isfinite(s))
        return s;
    // A subnormal s has no exponent to read: scale it by 2^64 into the normal
    // range, which scales its root by 2^32.
    float scaled = s;
    float unscale = 1.0f;
    if (s < FLT_MIN) {
        scaled = s * 0x1p64f;
        unscale = 0x1p-32f;
    }
    // s = 2^(2k) * m with m in [1, 4), so 1/sqrt(s) = 2^-k / sqrt(m): the
    // table gives 1/sqrt(m) and k moves its exponent.
    const uint32_t bits = std::bit_cast<uint32_t>(scaled);
    const int32_t exponent = static_cast<int32_t>(bits >> 23);
    const int32_t k = (exponent - 127) >> 1;
    const int32_t estimate = std::bit_cast<int32_t>(kInverseSqrtEstimates[(bits >> 15) & 0x1FF]);
    float y = std::bit_cast<float>(estimate - k * (int32_t{1} << 23));
    y = y * (1.5f - 0.5f * scaled * y * y);
    y = y * (1.5f - 0.5f * scaled * y * y);
    return scaled * y * unscale;
}
