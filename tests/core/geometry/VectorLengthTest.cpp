#include "core/geometry/VectorLength.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>

namespace {

int64_t UlpDistance(float a, float b)
{
    return std::llabs(static_cast<int64_t>(std::bit_cast<int32_t>(a)) - std::bit_cast<int32_t>(b));
}

// The length must agree with sqrtf of the squared length as a float.
void ExpectAgrees(const Vector3& v)
{
    const double s = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y + static_cast<double>(v.z) * v.z;
    const float want = std::sqrt(static_cast<float>(s));
    const float got = VectorLength(v);
    EXPECT_LE(UlpDistance(got, want), 2) << std::hexfloat << v.x << ", " << v.y << ", " << v.z << ": " << got;
}

TEST(VectorLengthTest, EstimatesAreTheInverseRootsOfTheBucketMiddles)
{
    for (int i = 0; i < 512; ++i) {
        const double middle = (i & 0x100 ? 1.0 : 2.0) * (1.0 + ((i & 0xFF) + 0.5) / 256.0);
        EXPECT_LE(UlpDistance(kInverseSqrtEstimates[i], static_cast<float>(1.0 / std::sqrt(middle))), 1) << i;
    }
}

TEST(VectorLengthTest, ExactCasesAndSpecialValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        Vector3 v;
        float length;
    };
    const Row rows[] = {
        {{0, 0, 0}, 0},          {{-0.0f, -0.0f, -0.0f}, 0}, {{0, 0, -1}, 1},  {{2, 0, 0}, 2},
        {{0, -6, 0}, 6},
        {{1e-40f, -1e-40f, 1e-40f}, 0},  // subnormal components: s underflows to 0
        {{1e-23f, 0, 0}, 0},     {{FLT_MAX, 0, 0}, inf},     {{2e19f, 0, 0}, inf}, {{0, -inf, 0}, inf},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VectorLength(row.v), row.length) << row.v.x << ", " << row.v.y << ", " << row.v.z;
    EXPECT_TRUE(std::isnan(VectorLength({std::nanf(""), 1, 0})));
}

TEST(VectorLengthTest, AgreesWithSqrtfInEveryBucketOfEveryExponent)
{
    // Squared lengths at the bottom, middle and top of each estimate bucket,
    // for every exponent, subnormal squared lengths included.
    for (uint32_t exponent = 0; exponent < 255; ++exponent) {
        for (uint32_t top = 0; top < 256; ++top) {
            for (uint32_t low : {1u, 0x4000u, 0x7FFFu})
                ExpectAgrees({std::sqrt(std::bit_cast<float>((exponent << 23) | (top << 15) | low)), 0, 0});
        }
    }
}

TEST(VectorLengthTest, AgreesWithSqrtfOnRandomTinyHugeAndSubnormalInputs)
{
    std::mt19937 random(20240523);
    // Components of random sign and mantissa, their exponents drawn from a band.
    const int bands[][2] = {{-20, 20}, {-75, -60}, {55, 63}, {-149, -127}, {-149, 63}};
    for (const auto& band : bands) {
        SCOPED_TRACE(testing::Message() << "exponents " << band[0] << " to " << band[1]);
        std::uniform_int_distribution<int> exponent(band[0], band[1]);
        std::uniform_real_distribution<float> mantissa(-2.0f, 2.0f);
        auto component = [&] { return std::ldexp(mantissa(random), exponent(random)); };
        for (int i = 0; i < 20000; ++i)
            ExpectAgrees({component(), component(), component()});
    }
}

}  // namespace
